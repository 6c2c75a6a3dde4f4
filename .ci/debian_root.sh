#!/usr/bin/env bash
# CI on Debian 13: the README's two commands, as a new user on a fresh minimal
# Debian 13 ("trixie") system runs them, as root: tools/test.sh, then
# tools/run.sh with keys on standard input (no sound card there, so the
# footsteps go to a WAV file, which must hold sound).
#
# The system is a root folder made by debootstrap (--variant=minbase) and kept
# untouched in the cache folder; every run works in a fresh copy of it, with a
# copy of the checked-out commit (tracked files only), and removes the copy
# at the end. A machine without the cached root makes it first; so does one
# whose root is older than 30 days. Downloaded packages are kept in the cache
# as well. /proc, /sys, /dev and /dev/pts are bound into the copy while it is
# in use and unmounted on every way out, failure and interruption included,
# before anything is removed.
#
#   .ci/debian13.sh        (as root; needs network to the Debian mirror)
#
# QUORVEL_CI_CACHE names another cache folder (default /var/cache/quorvel-ci).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORVEL_CI_CACHE:-/var/cache/quorvel-ci}
pristine=$cache/debian13-minbase    # as debootstrap made it; never entered
work=$cache/debian13-run            # this run's copy
archives=$cache/debian13-archives   # packages downloaded in the copies
keptWave=$cache/debian13-quorvel-output.wav

step() { printf '==> Debian 13 (%d s): %s\n' "$SECONDS" "$*"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "$0: must run as root (debootstrap, chroot and bind mounts)" >&2
  exit 1
fi

# The host's Debian mirror (the one its own package lists come from).
host_mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
            /etc/apt/sources.list.d/*.sources 2>/dev/null |
          grep -E '^[[:space:]]*(deb|URIs:)[[:space:]]' |
          grep -oE 'https?://[^[:space:]]+/debian/?([[:space:]]|$)' | head -n 1 | tr -d '[:space:]')
  echo "${uri:-http://deb.debian.org/debian}"
}

# Mount points at or below a folder, deepest first.
mounts_below() {
  awk -v dir="$1" '$2 == dir || index($2, dir "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

# Ends every process whose root is the folder (all started by this script),
# then unmounts everything below it. Fails when something stays mounted.
release() {
  local dir=$1 pid signal mount
  [ -d "$dir" ] || return 0
  for signal in TERM KILL; do
    local found=""
    for pid in /proc/[0-9]*; do
      if [ "$(readlink "$pid/root" 2>/dev/null)" = "$dir" ]; then
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

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  [ "$status" -eq 0 ] || step "failed or interrupted (exit status $status); cleaning up"
  stop_child
  remove_root "$work" || true
  remove_root "$pristine.new" || true
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$cache" "$archives/partial"
# One run at a time on this machine: they share the cache.
exec 9>"$cache/lock"
flock 9

if [ -z "$(find "$pristine.ready" -mtime -30 2>/dev/null)" ]; then
  if ! command -v debootstrap >/dev/null; then
    step "installing debootstrap"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y debootstrap
  fi
  mirror=$(host_mirror)
  step "making a minimal root with debootstrap from $mirror (once per machine)"
  rm -f "$pristine.ready"
  remove_root "$pristine.new"
  in_background debootstrap --variant=minbase trixie "$pristine.new" "$mirror"
  remove_root "$pristine"
  mv "$pristine.new" "$pristine"
  date -u > "$pristine.ready"
fi

step "a fresh copy of the minimal root"
remove_root "$work"
cp -a "$pristine" "$work"
cp --remove-destination /etc/resolv.conf "$work/etc/resolv.conf"
# The copy is thrown away after the run: dpkg need not sync every file.
echo force-unsafe-io > "$work/etc/dpkg/dpkg.cfg.d/quorvel-ci-unsafe-io"
# Nor may a package start a service in it.
printf '#!/bin/sh\nexit 101\n' > "$work/usr/sbin/policy-rc.d"
chmod +x "$work/usr/sbin/policy-rc.d"
for dir in proc sys dev dev/pts; do
  mount --bind "/$dir" "$work/$dir"
done
mount --bind "$archives" "$work/var/cache/apt/archives"

commit=$(git -C "$repo" rev-parse --short HEAD)
step "the tracked files of commit $commit into /root/quorvel"
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  echo "(local changes in $repo are not part of this run)"
fi
mkdir "$work/root/quorvel"
git -C "$repo" archive HEAD | tar -x -C "$work/root/quorvel"

# Runs a command line in the checkout inside the root, as root, with nothing
# of this script's environment but HOME and PATH (no TERM, no locale).
in_root() {
  in_background chroot "$work" /usr/bin/env -i HOME=/root \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/quorvel && $1"
}

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
