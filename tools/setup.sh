#!/usr/bin/env bash
# Installs what one job needs (Debian 12, 13 and testing; Ubuntu is expected
# to work), then configures and builds it through its CMake workflow preset.
# Every step is announced; apt-get and the build show their own progress, and
# their errors stay on the terminal.
#   tools/setup.sh run [PROGRAM]  the two programs and the footsteps, or only
#                             quorvel (with the footsteps) or ferrowin (build/default)
#   tools/setup.sh default    everything, tests included (build/default)
#   tools/setup.sh sanitize   the same with ASan + UBSan (build/sanitize)
#   tools/setup.sh fuzz       the WAV reader's fuzz target, with clang (build/fuzz)
#   tools/setup.sh windows    the Windows programs, cross-built (build/windows)
#   tools/setup.sh wine       the tests that run those under wine (build/wine)
#   tools/setup.sh ci         only what .ci/run needs on the machine itself
#                             (mmdebstrap, git, apt's package lists); no build
#   tools/setup.sh docs       the link check of README.md and docs/ (build/docs)
# "test" after default, sanitize or wine runs the job's tests after
# the build, in the same workflow (tools/test.sh, tools/test_windows.sh).
# Installing takes root: as an ordinary user it goes through sudo; without
# sudo it names the missing packages, as apt-get's simulation finds them, and
# stops before anything is built. apt-get update runs at most once, and only
# when something is to be installed or the package lists know too little.
set -euo pipefail
cd "$(dirname "$0")/.."
job="${1:-default}"

step() { printf '==> %s [%d s]\n' "$*" "$SECONDS"; }

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
can_install() { [ -z "$sudo" ] || command -v sudo >/dev/null; }

# apt-get with root's rights. An install waits up to an hour while another apt
# or dpkg run (the user's own, unattended-upgrades) holds dpkg's lock.
apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=3600 "$@"; }

# apt-get update, once. apt gives it no timeout for the package lists' lock:
# while another run holds it, apt-get update fails at once naming that lock,
# and is tried again, quietly, every 2 s for up to 2 minutes.
lists_updated=""
update_lists() {
  [ -z "$lists_updated" ] || return 0
  step "Updating the package lists (apt-get update)"
  local lists errors quiet=() tries=0
  eval "$(apt-config shell lists Dir::State::Lists/d)"
  until { errors=$(apt_get "${quiet[@]}" update 2>&1 >&3 3>&-); } 3>&1; do
    if [[ $errors != *"${lists}lock"* ]] || ((++tries > 60)); then
      printf '%s\n' "$errors" >&2
      return 1
    fi
    [ "$tries" -gt 1 ] || printf 'setup: waiting for another apt run to end (%s)\n' "${errors%%$'\n'*}" >&2
    quiet=(-qq)
    sleep 2
  done
  [ "$tries" -eq 0 ] || echo "setup: the other apt run has ended; the package lists are updated" >&2
  [ -z "$errors" ] || printf '%s\n' "$errors" >&2
  lists_updated=1
}

# install WITH WITHOUT: installs what the dependency strings (as in a
# package's Depends: "a, b | c (>= 1)") need, WITH's packages with what they
# recommend, WITHOUT's without. apt-get satisfy takes the first alternative it
# can; its simulation, which needs no root, says first what it would install
# (recommends aside).
install() {
  local plan planned=1 needed name missing="" all="${1:+$1, }$2"
  plan() { apt-get -s satisfy --no-install-recommends "$all" 2>&1; }
  # Package lists that know none of a package are read before that is final.
  plan=$(plan) || { can_install && update_lists && plan=$(plan); } || planned=""
  # What it would install, or what it found no way to install (its problems'
  # " Depends: name but it is not installable"); of those, the names asked for.
  needed=" $(sed -n 's/^Inst \([^ ]*\).*/\1/p; s/.* Depends: \([^ ]*\).*/\1/p' <<<"$plan" | tr '\n' ' ')"
  for name in $needed; do
    [[ " ${all//[,|]/ } " != *" $name "* ]] || missing+="${missing:+, }$name"
  done
  [ -z "$planned" ] || [ -n "$missing" ] || return 0
  if ! can_install; then
    [ -n "$missing" ] || { grep '^E:' <<<"$plan" >&2; missing="unknown (apt-get's errors above)"; }
    echo "setup: missing packages: $missing; installing them needs root: run $0 as root, or with sudo installed" >&2
    exit 1
  fi
  # jackd2 would ask whether its users may ask for realtime scheduling (an
  # entry in the system's limits); the tests ask for none. The answer, no, is
  # given only to that question, and only when jackd2 is about to be installed.
  [[ $needed != *" jackd2 "* ]] || echo 'jackd2 jackd/tweak_rt_limits boolean false' | $sudo debconf-set-selections
  update_lists
  step "Installing ${missing:-$all}"
  [ -z "$1" ] || apt_get satisfy -y "$1"
  apt_get satisfy -y --no-install-recommends "$2"
}

# What the programs need: the build, and OpenAL Soft's library with what it
# recommends, the clients of the sound servers and of ALSA that it loads to
# play. Everything else comes without what it recommends: a compiler needs no
# fonts.
openal="libopenal-dev"
run_packages="cmake, g++, make"
test_packages="pkg-config, libgtest-dev, libvterm-dev, openal-info | openal-tools"
#   pkg-config finds libvterm, the terminal emulator behind the screen tests;
#   OpenAL Soft's info tool says what the tests expect of it.
windows_packages="g++-mingw-w64-x86-64-posix, gcc-mingw-w64-x86-64-posix, wine, wine64"
#   cross compilers for 64-bit Windows (C++ for the programs, C for OpenAL
#   Soft), and wine, which runs the Windows programs and their tests here.
ci_packages="mmdebstrap, git, qemu-user-static, binfmt-support, arch-test"
#   the Debian roots, the commit copied into them, the arm64 root's programs
#   (mmdebstrap makes a root of another architecture only with arch-test).

# The sound servers the tests start, with their command-line clients:
# PipeWire and WirePlumber where the release's OpenAL Soft has its PipeWire
# backend (1.22 and later: Debian 13, testing), PulseAudio before (Debian 12);
# JACK on every release, its clients and recorder in jackd2 itself before
# 1.9.22 (Debian 12) and in jack-example-tools since. The package lists are
# read first when they know no OpenAL Soft yet.
openal_version() {
  LC_ALL=C apt-cache policy libopenal1 2>/dev/null | awk '/(Installed|Candidate):/ && $2 != "(none)" { print $2; exit }'
}

# Each job: its packages, and the workflow (CMakePresets.json) that builds it.
case "$job" in
  run)
    [[ ${2:-programs} =~ ^(programs|quorvel|ferrowin)$ ]] || { echo "usage: $0 run [quorvel|ferrowin]" >&2; exit 2; }
    install "$openal" "$run_packages"
    # A tree of its own makes no tests (preset "run"), which need packages
    # this job does not install; a tree that tools/test.sh made keeps them.
    # Only the program asked for is built: under emulation that saves minutes.
    if [ ! -f build/default/CMakeCache.txt ]; then
      step "Configuring the build (cmake --preset run)"
      cmake --preset run
    fi
    step "Building ${2:-programs} (cmake --build --preset default --target ${2:-programs})"
    exec cmake --build --preset default --target "${2:-programs}"
    ;;
  default | sanitize)
    [ -n "$(openal_version)" ] || ! can_install || update_lists
    servers="pulseaudio, pulseaudio-utils"
    ! dpkg --compare-versions "$(openal_version)" ge 1:1.22 ||
      servers="pipewire, pipewire-bin, wireplumber, pipewire-pulse, pulseaudio-utils"
    install "$openal" "$run_packages, $test_packages, $servers, jackd2, jack-example-tools | jackd2 (<< 1.9.22~)"
    ;;
  fuzz) install "$openal" "$run_packages, clang, libclang-rt-dev" ;;
  windows) install "$openal" "$run_packages, $windows_packages" ;;
  wine) install "$openal" "$run_packages, $test_packages, $windows_packages" ;;
  ci)
    install "" "$ci_packages"
    # The roots are made from the archive named in apt's package lists.
    tools/debian_archive.sh >/dev/null 2>&1 || update_lists
    exit 0
    ;;
  docs)
    # remark and its link plugin, at the versions of tools/docs-links/
    # package-lock.json, from npm into build/docs (never globally). Debian's
    # npm brings nodejs; an npm already on PATH (another node distribution's,
    # which Debian's would conflict with) is used as it is.
    docs_packages="cmake, make"
    command -v npm >/dev/null || docs_packages+=", npm"
    install "" "$docs_packages"
    step "Configuring the link check (build/docs)"
    cmake -S tools/docs-links -B build/docs
    step "Installing the link checker (npm ci)"
    exec npm ci --prefix build/docs --no-audit --no-fund
    ;;
  *) echo "usage: $0 run|default|sanitize|fuzz|windows|wine|ci|docs [test]" >&2; exit 2 ;;
esac
workflow="build-$job"
[ "${2:-}" != test ] || [[ $job =~ ^(fuzz|windows)$ ]] || workflow=$job
step "Configuring and building (cmake --workflow --preset $workflow)"
exec cmake --workflow --preset "$workflow"
