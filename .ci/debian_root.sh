#!/usr/bin/env bash
# CI on another Debian release: the README's two commands, as a new user on
# a fresh minimal system of that release runs them, as root: tools/test.sh,
# then tools/run.sh with keys on standard input (no sound card there, so the
# footsteps go to a WAV file, which must hold sound).
#
#   .ci/debian_root.sh trixie     Debian 13
#   .ci/debian_root.sh forky      Debian testing
#   .ci/debian_root.sh RELEASE first-run
#       only tools/run.sh, as a first-time user runs it (bookworm, trixie or
#       forky), with nothing downloaded before: how many packages it
#       installs, how much it downloads and how long until the first dot.
#       dpkg there syncs every file it writes, as on a user's machine.
#   .ci/debian_root.sh RELEASE ci
#       .ci/run itself (bookworm, trixie or forky) on a fresh minimal system
#       where nothing was installed or downloaded before: .ci/run installs
#       what it needs, and its own roots are made from scratch inside this
#       one (their cache is inside it and goes with it)
#   .ci/debian_root.sh bookworm --arch arm64
#       Debian 12 for arm64 (a Raspberry Pi, for one), run through qemu-user
#   --arch ARCH (anywhere after the release) makes the root for another
#       Debian architecture; its programs run through qemu-user-static, which
#       is installed on this machine with binfmt-support when missing (with
#       binfmt_misc mounted when it is not). Only arm64 is known to it.
#   (as root; needs network to the Debian archive that this machine's apt uses)
#
# The system is a root folder made by debootstrap (--variant=minbase) from
# that archive and kept untouched in the cache folder; every run works in a
# fresh copy of it, with a copy of the checked-out commit (tracked files
# only), and removes the copy at the end. A machine without the cached root
# makes it first; so does one whose root is older than 30 days. Downloaded
# packages are kept in the cache as well. /proc, /sys, /dev and /dev/pts are
# bound into the copy while it is in use and unmounted on every way out,
# failure and interruption included, before anything is removed.
#
# QUORVEL_CI_CACHE names another cache folder (default /var/cache/quorvel-ci).
# A foreign architecture's files there have it in their names
# (bookworm-arm64-minbase and so on).
set -euo pipefail
usage="usage: $0 trixie|forky [first-run|ci], $0 bookworm first-run|ci, or $0 trixie|forky|bookworm [first-run] --arch arm64"
arch="" positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; arch=$2; shift 2 ;;
    --arch=*) arch=${1#--arch=}; shift ;;
    *) positional+=("$1"); shift ;;
  esac
done
release=${positional[0]:-}
mode=${positional[1]:-both}
[ "${#positional[@]}" -le 2 ] || { echo "$usage" >&2; exit 2; }
[ "$arch" != "$(dpkg --print-architecture)" ] || arch=""
case "$arch" in
  "") qemu="" ;;
  arm64) qemu=aarch64 ;;
  *) echo "$0: no emulator known for the architecture $arch" >&2; exit 2 ;;
esac
case "$release:$mode${arch:+:foreign}" in
  trixie:both* | trixie:first-run*) name="Debian 13" ;;
  forky:both* | forky:first-run*) name="Debian testing" ;;
  bookworm:first-run* | bookworm:both:foreign) name="Debian 12" ;;
  bookworm:ci) name="Debian 12" ;;
  trixie:ci) name="Debian 13" ;;
  forky:ci) name="Debian testing" ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
name+=${arch:+ $arch}
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORVEL_CI_CACHE:-/var/cache/quorvel-ci}
root=$release${arch:+-$arch}        # the cache's names for this root
pristine=$cache/$root-minbase       # as debootstrap made it; never entered
work=$cache/$root-run               # this run's copy
archives=$cache/$root-archives      # packages downloaded in the copies
keptWave=$cache/$root-quorvel-output.wav

step() { printf '==> %s (%d s): %s\n' "$name" "$SECONDS" "$*"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "$0: must run as root (debootstrap, chroot and bind mounts)" >&2
  exit 1
fi

# Mount points at or below a folder, deepest first.
mounts_below() {
  awk -v dir="$1" '$2 == dir || index($2, dir "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

# True when process folder /proc/PID runs in the root folder DIR or in one
# below it (the roots of a ci run). The root itself is compared as a file,
# not by its path: inside a root, the path of a process's root outside it
# reads the same as a folder of the same name inside.
in_root_folder() {
  [ "$1/root" -ef "$2" ] && return 0
  case "$(readlink "$1/root" 2>/dev/null)" in "$2"/*) return 0 ;; esac
  return 1
}

# Ends every process whose root is the folder, or one below it (all started
# by this script), then unmounts everything below it. Fails when something
# stays mounted.
release() {
  local dir=$1 pid signal mount
  [ -d "$dir" ] || return 0
  for signal in TERM KILL; do
    local found=""
    for pid in /proc/[0-9]*; do
      if in_root_folder "$pid" "$dir"; then
        kill "-$signal" "${pid#/proc/}" 2>/dev/null && found=1
      fi
    done
    [ -n "$found" ] || break
    sleep 1
  done
  for mount in $(mounts_below "$dir"); do
    umount "$mount" 2>/dev/null || umount --lazy "$mount" || true
  done
  [ -z "$(mounts_below "$dir")" ]
}

# Removes a root folder, but never while anything is mounted below it.
remove_root() {
  [ -e "$1" ] || return 0
  if ! release "$1"; then
    echo "$0: still mounted below $1, so it is left in place" >&2
    return 1
  fi
  rm -rf --one-file-system "$1"
}

# The long steps run as a session of their own in the background, so that a
# signal to this script is handled at once and ends all of the step.
child=""
in_background() {
  setsid --wait "$@" 9>&- &
  child=$!
  wait "$child"
  child=""
}

stop_child() {
  [ -n "$child" ] || return 0
  kill -TERM -- "-$child" 2>/dev/null || return 0
  sleep 2
  kill -KILL -- "-$child" 2>/dev/null || true
  wait "$child" 2>/dev/null || true
}

# The copies are this run's only once it holds the root's lock: a run still
# waiting for it leaves alone what the run before it is using.
locked=""
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  [ "$status" -eq 0 ] || step "failed or interrupted (exit status $status); cleaning up"
  stop_child
  if [ -n "$locked" ]; then
    remove_root "$work" || true
    remove_root "$pristine.new" || true
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The foreign architecture's programs run through qemu-user: its static
# emulator, registered with binfmt_misc so that the kernel hands it every
# program of that architecture, in the root as well (the "fix binary" flag
# keeps the emulator open from this system).
emulation() {
  if ! [ -x "/usr/bin/qemu-$qemu-static" ] || ! command -v update-binfmts >/dev/null; then
    step "installing qemu-user-static and binfmt-support on this machine"
    local install=(apt-get -o DPkg::Lock::Timeout=600 install -y qemu-user-static binfmt-support)
    DEBIAN_FRONTEND=noninteractive "${install[@]}" || { apt-get update && DEBIAN_FRONTEND=noninteractive "${install[@]}"; }
  fi
  if ! [ -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if ! [ -e "/proc/sys/fs/binfmt_misc/qemu-$qemu" ]; then
    update-binfmts --enable "qemu-$qemu"
  fi
  grep -qx enabled "/proc/sys/fs/binfmt_misc/qemu-$qemu" ||
    { echo "$0: qemu-$qemu is registered with binfmt_misc but disabled" >&2; exit 1; }
}

mkdir -p "$cache" "$archives/partial"
# One run of a root at a time on this machine: they share its cache.
exec 9>"$cache/$root.lock"
flock 9
locked=1
[ -z "$qemu" ] || emulation

if [ -z "$(find "$pristine.ready" -mtime -30 2>/dev/null)" ]; then
  # debootstrap and apt's package lists, waiting for any other apt run.
  "$repo/tools/setup.sh" ci
  archive=$("$repo/tools/debian_archive.sh")
  # An older debootstrap may have no script for a newer release; the one for
  # unstable serves testing as well.
  script=/usr/share/debootstrap/scripts/$release
  [ -e "$script" ] || script=/usr/share/debootstrap/scripts/sid
  step "making a minimal root with debootstrap from $archive (once per machine)"
  rm -f "$pristine.ready"
  remove_root "$pristine.new"
  in_background debootstrap --variant=minbase ${arch:+--arch="$arch"} "$release" "$pristine.new" "$archive" "$script"
  remove_root "$pristine"
  mv "$pristine.new" "$pristine"
  date -u > "$pristine.ready"
fi

step "a fresh copy of the minimal root"
remove_root "$work"
cp -a "$pristine" "$work"
cp --remove-destination /etc/resolv.conf "$work/etc/resolv.conf"
# An archive that is a dated copy serves a testing Release file past its
# validity: apt in this copy (and only here) accepts it.
if [ "$release" = forky ]; then
  echo 'Acquire::Check-Valid-Until "false";' > "$work/etc/apt/apt.conf.d/99quorvel-ci-snapshot"
fi
# The copy is thrown away after the run: dpkg need not sync every file. A
# first run is timed as a user sees it, with dpkg as it comes.
[ "$mode" = first-run ] ||
  echo force-unsafe-io > "$work/etc/dpkg/dpkg.cfg.d/quorvel-ci-unsafe-io"
# Nor may a package start a service in it.
printf '#!/bin/sh\nexit 101\n' > "$work/usr/sbin/policy-rc.d"
chmod +x "$work/usr/sbin/policy-rc.d"
for dir in proc sys dev dev/pts; do
  mount --bind "/$dir" "$work/$dir"
done
# A first run and a ci run download everything themselves; the others keep
# what they fetch.
case "$mode" in first-run | ci) ;; *) mount --bind "$archives" "$work/var/cache/apt/archives" ;; esac

commit=$(git -C "$repo" rev-parse --short HEAD)
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  echo "(local changes in $repo are not part of this run)"
fi
if [ "$mode" = ci ]; then
  # .ci/run makes its roots from a git checkout: a clone at the commit.
  step "a clone of $repo at commit $commit into /root/quorvel"
  git clone --quiet --no-hardlinks --no-checkout "$repo" "$work/root/quorvel"
  git -C "$work/root/quorvel" checkout --quiet --detach "$(git -C "$repo" rev-parse HEAD)"
else
  step "the tracked files of commit $commit into /root/quorvel"
  mkdir "$work/root/quorvel"
  git -C "$repo" archive HEAD | tar -x -C "$work/root/quorvel"
fi

# Runs a command line in the checkout inside the root, as root, with nothing
# of this script's environment but HOME and PATH (no TERM, no locale).
in_root() {
  in_background chroot "$work" /usr/bin/env -i HOME=/root \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/quorvel && $1"
}

if [ "$mode" = first-run ]; then
  step "tools/run.sh, the first command on this system, with the keys 1 and x"
  # Times from the start of the command to the first dot after "Playing
  # Source ", read byte by byte as the program writes them.
  in_root 'installed() { dpkg-query -W -f="\${db:Status-Abbrev}\n" | grep -c "^ii"; }
    before=$(installed)
    started=$EPOCHREALTIME seen="" first=""
    printf 1x | tools/run.sh 2> >(tee /root/run.log >&2) |
      while IFS= read -r -d "" -n 1 c; do
        printf %s "$c"; seen+=$c
        if [ -z "$first" ] && [ "$c" = . ] && [[ $seen == *"Playing Source "* ]]; then
          first=$EPOCHREALTIME; echo "$first" > /root/first-dot
        fi
      done
    echo
    after=$(installed)
    printf "first run: %d packages installed, %s MB downloaded, first dot after %.1f s\n" "$((after - before))" \
      "$(sed -n "s/^Need to get \([0-9.,]*\) \([kM]\)B.*/\1 \2/p" /root/run.log | tr -d , |
         awk "{ total += \$2 == \"k\" ? \$1 / 1000 : \$1 } END { printf \"%.1f\", total }")" \
      "$(awk -v a="$(cat /root/first-dot)" -v b="$started" "BEGIN { print a - b }")"'
  step "done in $SECONDS s"
  exit 0
fi

if [ "$mode" = ci ]; then
  step ".ci/run, the first command on this system"
  in_root '.ci/run'
  step "passed in $SECONDS s"
  exit 0
fi

step "tools/test.sh"
in_root 'tools/test.sh'

step "tools/run.sh, with the keys 1 and x on standard input"
in_root 'printf 1x | tools/run.sh && echo'
wave=$work/root/quorvel/build/default/quorvel-output.wav
# Sound: some byte after the first KiB (far past the header) is not zero.
if [ -z "$(tail -c +1025 "$wave" | tr -d '\0' | head -c 1)" ]; then
  echo "$0: $wave holds no sound" >&2
  exit 1
fi
cp "$wave" "$keptWave"
step "passed in $SECONDS s (the footsteps as rendered: $keptWave)"
