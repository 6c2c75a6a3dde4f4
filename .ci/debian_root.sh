#!/usr/bin/env bash
# CI on a fresh minimal Debian root, as root: the README's two commands as a
# new user runs them, tools/test.sh, then tools/run.sh with keys on standard
# input (no sound card there: the footsteps go to a WAV file, which must hold
# sound and is kept in the cache).
#   .ci/debian_root.sh trixie|forky           Debian 13, Debian testing
#   .ci/debian_root.sh bookworm --arch arm64  Debian 12 for arm64 (a Raspberry
#       Pi, for one), through qemu-user-static and binfmt_misc
#   .ci/debian_root.sh RELEASE first-run      only tools/run.sh, as a
#       first-time user runs it, nothing downloaded before and dpkg syncing
#       as on a user's machine: packages installed, MB downloaded and seconds
#       until the first dot
#   .ci/debian_root.sh RELEASE ci             .ci/run itself, nothing
#       installed before; its own roots are made from scratch inside this one
# (needs network to the Debian archive that this machine's apt uses)
#
# The root is a tarball that mmdebstrap (--variant=minbase) made from that
# archive, kept in the cache folder (QUORVEL_CI_CACHE, default
# /var/cache/quorvel-ci) and made again when 30 days old. Each run unpacks a
# fresh copy with the commit's tracked files and removes it at the end;
# downloaded packages stay in the cache. Each long step runs in mount and PID
# namespaces of its own (unshare): its mounts and processes end with it,
# however it ends.
set -euo pipefail
usage="usage: $0 trixie|forky [first-run|ci], $0 bookworm first-run|ci, or $0 trixie|forky|bookworm [first-run] --arch arm64"
arch="" args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; arch=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
release=${args[0]:-} mode=${args[1]:-both}
[ "${#args[@]}" -le 2 ] || { echo "$usage" >&2; exit 2; }
[ "$arch" != "$(dpkg --print-architecture)" ] || arch=""
[ -z "$arch" ] || [ "$arch" = arm64 ] || { echo "$0: no emulator known for the architecture $arch" >&2; exit 2; }
qemu=${arch:+aarch64}               # the emulator's name for it
case "$release:$mode${arch:+:foreign}" in
  trixie:both* | trixie:first-run* | trixie:ci) name="Debian 13" ;;
  forky:both* | forky:first-run* | forky:ci) name="Debian testing" ;;
  bookworm:first-run* | bookworm:both:foreign | bookworm:ci) name="Debian 12" ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
name+=${arch:+ $arch}
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORVEL_CI_CACHE:-/var/cache/quorvel-ci}
root=$release${arch:+-$arch}        # the cache's names for this root
tarball=$cache/$root-minbase.tar    # as mmdebstrap made it
work=$cache/$root-run               # this run's copy
archives=$cache/$root-archives      # packages downloaded in the copies
keptWave=$cache/$root-quorvel-output.wav

step() { printf '==> %s (%d s): %s\n' "$name" "$SECONDS" "$*"; }

[ "$(id -u)" -eq 0 ] || { echo "$0: must run as root (mmdebstrap, unshare, chroot and mounts)" >&2; exit 1; }

# A long step: a command in new mount and PID namespaces, in the background
# so that a signal to this script is handled at once (it keeps the root's
# lock open while it runs, should this script be killed). When unshare is
# killed, its child, the namespace's first process, is killed too
# (--kill-child), and that kills every other process in it before it ends
# itself: once it is gone (or a zombie), no process of the step is left, nor
# its mounts.
child=""
contained() {
  unshare --mount --pid --fork --kill-child "$@" &
  child=$!
  wait "$child"
  child=""
}
stop_child() {
  [ -n "$child" ] || return 0
  local first=""
  read -r first _ 2>/dev/null <"/proc/$child/task/$child/children" || true
  kill -KILL "$child" 2>/dev/null || true
  wait "$child" 2>/dev/null || true
  while [ -n "$first" ] && grep -qs '^State:\s*[^Z]' "/proc/$first/status"; do sleep 0.1; done
}

# The copy is this run's only once it holds the root's lock: a run still
# waiting for it leaves alone what the run before it is using.
locked=""
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  [ "$status" -eq 0 ] || step "failed or interrupted (exit status $status); cleaning up"
  stop_child
  [ -z "$locked" ] || rm -rf --one-file-system "$work" "$tarball.new.tar"
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
  local binfmt=/proc/sys/fs/binfmt_misc
  { [ -x "/usr/bin/qemu-$qemu-static" ] && command -v update-binfmts >/dev/null; } || "$repo/tools/setup.sh" ci
  [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
  [ -e "$binfmt/qemu-$qemu" ] || update-binfmts --enable "qemu-$qemu"
  grep -qx enabled "$binfmt/qemu-$qemu" || { echo "$0: qemu-$qemu is registered but disabled" >&2; exit 1; }
}

mkdir -p "$cache" "$archives/partial"
# One run of a root at a time on this machine: they share its cache.
exec 9>"$cache/$root.lock"
flock 9
locked=1
[ -z "$qemu" ] || emulation
rm -rf --one-file-system "$work" "$tarball.new.tar"    # a killed run's
mkdir "$work"

if [ -z "$(find "$tarball" -mtime -30 2>/dev/null)" ]; then
  # mmdebstrap and apt's package lists, waiting for any other apt run.
  "$repo/tools/setup.sh" ci
  archive=$("$repo/tools/debian_archive.sh")
  # /usr merged as debootstrap, and so Debian's installer, merges it: with
  # usr-is-merged, not usrmerge and the perl it brings. The root's copies
  # are thrown away after each run: dpkg there need not sync every file (its
  # option stays in the root as 99mmdebstrap). An archive that is a dated
  # copy serves a testing Release file past its validity: apt in this root
  # (and only here) accepts it.
  options=(--hook-dir=/usr/share/mmdebstrap/hooks/merged-usr --dpkgopt=force-unsafe-io)
  [ "$release" != forky ] || options+=(--aptopt='Acquire::Check-Valid-Until "false"')
  step "making a minimal root with mmdebstrap from $archive (once per machine)"
  contained env TMPDIR="$work" mmdebstrap --mode=root --variant=minbase ${arch:+--arch="$arch"} \
    "${options[@]}" "$release" "$tarball.new.tar" "$archive"
  mv "$tarball.new.tar" "$tarball"
fi

step "a fresh copy of the minimal root"
tar -x -C "$work" -f "$tarball"
cp --remove-destination /etc/resolv.conf "$work/etc/resolv.conf"
# A first run is timed as a user sees it, with dpkg as it comes.
[ "$mode" != first-run ] || rm "$work/etc/dpkg/dpkg.cfg.d/99mmdebstrap"
# No package may start a service in it.
install -m 755 <(printf '#!/bin/sh\nexit 101\n') "$work/usr/sbin/policy-rc.d"

commit=$(git -C "$repo" rev-parse --short HEAD)
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] || echo "(local changes in $repo are not part of this run)"
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

# Certificates this machine's node trusts beyond its own (NODE_EXTRA_CA_CERTS:
# a proxy's, say) are trusted by node in the root too: a ci run's link check
# fetches its checker from npm.
extraCa=""
if [ -f "${NODE_EXTRA_CA_CERTS:-}" ]; then
  extraCa=/etc/quorvel-ci-extra-ca.pem
  cp "$NODE_EXTRA_CA_CERTS" "$work$extraCa"
fi

# A first run and a ci run download everything themselves; the others keep
# what they fetch.
keep=$archives && case "$mode" in first-run | ci) keep="" ;; esac
# Runs a command line in the checkout inside the root, as root, with nothing
# of this script's environment but HOME, PATH and the certificates above (no
# TERM, no locale). The
# root is a mount point of its own, so that unshare works inside it (a ci
# run's roots); its /dev/shm is its own as well, as on a user's machine (the
# sound servers' shared memory is not another root's).
in_root() {
  contained /bin/sh -c 'set -e
    mount --bind "$0" "$0"
    mount -t proc proc "$0/proc"
    for dir in sys dev dev/pts; do mount --bind "/$dir" "$0/$dir"; done
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$0/dev/shm"
    [ -z "$1" ] || mount --bind "$1" "$0/var/cache/apt/archives"
    exec chroot "$0" /usr/bin/env -i HOME=/root ${3:+NODE_EXTRA_CA_CERTS="$3"} \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      /bin/bash -c "cd /root/quorvel && $2"' "$work" "$keep" "$1" "$extraCa"
}

if [ "$mode" = first-run ]; then
  step "tools/run.sh, the first command on this system, with the keys 1 and x"
  # Times from the start of the command to the first dot after "Playing
  # Source ", read byte by byte as the program writes them.
  in_root 'count() { dpkg-query -W -f="\${db:Status-Abbrev}\n" | grep -c "^ii"; }
    before=$(count) started=$EPOCHREALTIME seen=""
    printf 1x | tools/run.sh 2> >(tee /root/run.log >&2) | while IFS= read -r -d "" -n 1 c; do
      printf %s "$c"; seen+=$c
      [[ -e /root/first-dot || $c != . || $seen != *"Playing Source "* ]] || echo "$EPOCHREALTIME" >/root/first-dot
    done
    printf "\nfirst run: %d packages installed, %s MB downloaded, first dot after %.1f s\n" "$(($(count) - before))" \
      "$(sed -n "s/^Need to get \([0-9.,]*\) \([kM]\)B.*/\1 \2/p" /root/run.log | tr -d , |
         awk "{ t += \$2 == \"k\" ? \$1 / 1000 : \$1 } END { printf \"%.1f\", t }")" \
      "$(awk -v a="$(cat /root/first-dot)" -v b="$started" "BEGIN { print a - b }")"'
elif [ "$mode" = ci ]; then
  step ".ci/run, the first command on this system"
  in_root '.ci/run'
else
  step "tools/test.sh"
  in_root 'tools/test.sh'
  step "tools/run.sh, with the keys 1 and x on standard input"
  in_root 'printf 1x | tools/run.sh && echo'
  wave=$work/root/quorvel/build/default/quorvel-output.wav
  # Sound: some byte after the first KiB (far past the header) is not zero.
  [ -n "$(tail -c +1025 "$wave" | tr -d '\0' | head -c 1)" ] || { echo "$0: $wave holds no sound" >&2; exit 1; }
  cp "$wave" "$keptWave"
  echo "(the footsteps as rendered: $keptWave)"
fi
step "passed in $SECONDS s"

