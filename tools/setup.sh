#!/usr/bin/env bash
# Installs what one job needs (Debian 12, 13 and testing; Ubuntu is expected
# to work), then configures and builds it. Every step is announced; apt-get
# and the build show their own progress, and their errors stay on the
# terminal.
#   tools/setup.sh run [PROGRAM]  the two programs and the footsteps, or only
#                             quorvel (with the footsteps) or ferrowin (build/default)
#   tools/setup.sh default    everything, tests included (build/default)
#   tools/setup.sh sanitize   the same with ASan + UBSan (build/sanitize)
#   tools/setup.sh fuzz       the WAV reader's fuzz target, with clang (build/fuzz)
#   tools/setup.sh windows    the Windows programs, cross-built (build/windows)
#   tools/setup.sh wine       the tests that run those under wine (build/wine)
#   tools/setup.sh ci         only what .ci/run needs on the machine itself
#                             (debootstrap, git, apt's package lists); no build
# Installing takes root: as an ordinary user it goes through sudo; without
# sudo it names the missing packages and stops before anything is built.
# apt-get update runs at most once. While another apt or dpkg run (the
# user's own, unattended-upgrades) holds apt's locks, it says so and waits.
set -euo pipefail
cd "$(dirname "$0")/.."
job="${1:-default}"

step() { printf '==> %s [%d s]\n' "$*" "$SECONDS"; }

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
can_install() { [ -z "$sudo" ] || command -v sudo >/dev/null; }

# The lock files of apt and dpkg, as apt is configured here.
eval "$(apt-config shell lists_dir Dir::State::Lists/d status_file Dir::State::status/f \
  archives_dir Dir::Cache::Archives/d)"
apt_locks=("${status_file%/*}/lock-frontend" "${status_file%/*}/lock" "${lists_dir%/}/lock"
  "${archives_dir%/}/lock")

# The lock file (of apt_locks) that some process holds now, if any: its
# device and inode in /proc/locks, which lists apt's locks and flock's alike.
held_lock() {
  local lock key
  for lock in "${apt_locks[@]}"; do
    [ -e "$lock" ] || continue
    # st_dev holds the minor number's low byte, the major, then the rest.
    key=$(stat -c '%d %i' "$lock" |
      awk '{ printf "%02x:%02x:%s", int($1 / 256) % 4096, $1 % 256 + int($1 / 1048576) * 256, $2 }')
    if awk -v key="$key" '{ for (i = 1; i < NF; ++i) if ($i == key) found = 1 } END { exit !found }' /proc/locks; then
      echo "$lock"
      return 0
    fi
  done
  return 1
}

# apt-get with root's rights, once no other apt or dpkg run holds apt's
# locks (apt-get update would fail at once on them; apt-get install waits
# as well, for a run that takes them in between).
apt_get() {
  local lock held=""
  while lock=$(held_lock); do
    [ "$lock" = "$held" ] || echo "setup: waiting for another apt or dpkg run to end (it holds $lock)" >&2
    held=$lock
    sleep 1
  done
  [ -z "$held" ] || echo "setup: apt's locks are free again; going on" >&2
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=3600 "$@"
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# True when the package manager offers a version of the package to install.
offered() {
  local candidate
  candidate=$(LC_ALL=C apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  [ -n "$candidate" ] && [ "$candidate" != "(none)" ]
}

lists_updated=""
update_lists() {
  [ -z "$lists_updated" ] || return 0
  step "Updating the package lists (apt-get update)"
  apt_get update
  lists_updated=1
}

# first_of TEST ENTRY: prints the first of ENTRY's alternatives ("a|b") for
# which TEST succeeds; fails when none does.
first_of() {
  local name alternatives
  IFS='|' read -ra alternatives <<<"$2"
  for name in "${alternatives[@]}"; do
    if "$1" "$name"; then printf '%s\n' "$name"; return 0; fi
  done
  return 1
}

# The ENTRYs (see install_packages) of which nothing is installed, on one line.
unmet_entries() {
  local entry unmet=()
  for entry in "$@"; do
    first_of installed "$entry" >/dev/null || unmet+=("$entry")
  done
  echo "${unmet[*]}"
}

# install_packages [--no-recommends] ENTRY...: installs every ENTRY not yet
# installed. An ENTRY is a package name, or alternatives "a|b" for a package
# named differently between releases: any one installed satisfies it,
# otherwise the first one that the package manager offers is installed.
# --no-recommends leaves out what the packages only recommend.
install_packages() {
  local entry chosen wanted=() unmet=() options=()
  if [ "${1:-}" = --no-recommends ]; then
    options=(--no-install-recommends)
    shift
  fi
  read -ra unmet <<<"$(unmet_entries "$@")"
  [ ${#unmet[@]} -gt 0 ] || return 0
  update_lists
  for entry in "${unmet[@]}"; do
    if ! chosen=$(first_of offered "$entry"); then
      echo "setup: the package manager offers none of: ${entry//|/, }" >&2
      return 1
    fi
    wanted+=("$chosen")
  done
  step "Installing ${wanted[*]}"
  apt_get install -y "${options[@]}" "${wanted[@]}"
}

# What the programs need: the build, and OpenAL. OpenAL Soft's library comes
# with what it recommends, the clients of the sound servers and of ALSA that
# it loads to play; the tools come without: a compiler needs no fonts.
audio_packages=(
  libopenal-dev                      # OpenAL (OpenAL Soft) headers and library
)
run_packages=(
  cmake g++ make                     # the build
)
# What the tests need besides.
test_packages=(
  pkg-config                         # finds libvterm
  libgtest-dev                       # unit and program tests
  libvterm-dev                       # terminal emulator behind the screen tests
  'openal-info|openal-tools'         # OpenAL Soft's info tool: what the tests expect of it
  sox                                # checks the audio in a release bundle's rendered WAV
)
fuzz_packages=(
  clang libclang-rt-dev              # libFuzzer, for the WAV reader's fuzz target
)
windows_packages=(
  g++-mingw-w64-x86-64-posix         # cross compilers for 64-bit Windows (x86_64-w64-mingw32-g++-posix)
  gcc-mingw-w64-x86-64-posix         #   and its C compiler, for OpenAL Soft
  wine wine64                        # runs the Windows programs and their tests here
)
ci_packages=(
  mmdebstrap                         # makes the Debian roots of .ci/debian_root.sh
  git                                # copies the checked-out commit into them
  qemu-user-static binfmt-support    # run the arm64 root's programs
  arch-test                          #   and tell mmdebstrap that they run
)
# The version of OpenAL Soft that is installed, else the one on offer;
# nothing when the package lists know none.
openal_version() {
  local version
  version=$(dpkg-query -W -f='${Version}' libopenal1 2>/dev/null || true)
  [ -n "$version" ] || version=$(LC_ALL=C apt-cache policy libopenal1 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  [ "$version" = "(none)" ] || printf '%s\n' "$version"
}
# The sound server the tests start, with its command-line clients: PipeWire
# and WirePlumber where the release's OpenAL Soft has its PipeWire backend
# (1.22 and later: Debian 13, testing), PulseAudio before (Debian 12); JACK
# (jackd2) on every release, with its clients and recorder (in jackd2 itself
# before Debian 13, in jack-example-tools since); in this shell's
# server_packages. The package lists are read first when they do not know
# OpenAL Soft yet.
choose_sound_server() {
  local version
  version=$(openal_version)
  if [ -z "$version" ] && can_install; then
    update_lists
    version=$(openal_version)
  fi
  if [ -z "$version" ]; then
    server_packages=('pulseaudio|pipewire')  # unknown until the lists are read
  elif dpkg --compare-versions "$version" ge 1:1.22; then
    server_packages=(pipewire pipewire-bin wireplumber pipewire-pulse pulseaudio-utils)
  else
    server_packages=(pulseaudio pulseaudio-utils)
  fi
  server_packages+=(jackd2)
  ! offered jack-example-tools || server_packages+=(jack-example-tools)
}

# jackd2 asks when it is installed whether its users may ask for realtime
# scheduling (an entry in the system's limits); the tests ask for none. The
# answer, no, is given only to that question and only before jackd2 is
# installed, so no question stops the installation.
answer_jackd2_question() {
  installed jackd2 && return 0
  can_install || return 0  # install_packages says what is missing
  echo 'jackd2 jackd/tweak_rt_limits boolean false' | $sudo debconf-set-selections
}

# Each job: its packages, its preset, and what to build of it.
configure_options=()
targets=()
case "$job" in
  run)
    case "${2:-programs}" in
      programs | quorvel | ferrowin) ;;
      *) echo "usage: $0 run [quorvel|ferrowin]" >&2; exit 2 ;;
    esac
    packages=("${run_packages[@]}")
    preset=default
    targets=("${2:-programs}")
    # A tree of its own makes no tests, which need packages this job does
    # not install; a tree that tools/test.sh made keeps them.
    [ -f build/default/CMakeCache.txt ] || configure_options=(-DBUILD_TESTING=OFF)
    ;;
  default | sanitize)
    choose_sound_server
    answer_jackd2_question
    packages=("${run_packages[@]}" "${test_packages[@]}" "${server_packages[@]}")
    preset=$job
    configure_options=(-DBUILD_TESTING=ON)
    ;;
  fuzz)
    packages=("${run_packages[@]}" "${fuzz_packages[@]}")
    preset=fuzz
    targets=(fuzz_wave_reader make_fuzz_seeds)
    ;;
  windows)
    packages=("${run_packages[@]}" "${windows_packages[@]}")
    preset=windows
    ;;
  wine)
    packages=("${run_packages[@]}" "${test_packages[@]}" "${windows_packages[@]}")
    preset=wine
    ;;
  ci)
    install_packages "${ci_packages[@]}"
    # The roots are made from the archive named in apt's package lists.
    tools/debian_archive.sh >/dev/null 2>&1 || update_lists
    exit 0
    ;;
  *)
    echo "usage: $0 run|default|sanitize|fuzz|windows|wine|ci" >&2
    exit 2
    ;;
esac
if ! can_install; then
  read -ra missing <<<"$(unmet_entries "${audio_packages[@]}" "${packages[@]}")"
  if [ ${#missing[@]} -gt 0 ]; then
    list=$(printf '%s, ' "${missing[@]}")
    list=${list%, }
    echo "setup: missing packages: ${list//|/ or }; installing them needs root: run $0 as root, or with sudo installed" >&2
    exit 1
  fi
fi
install_packages "${audio_packages[@]}"
install_packages --no-recommends "${packages[@]}"

step "Configuring the build (cmake --preset $preset${configure_options[*]:+ ${configure_options[*]}})"
cmake --preset "$preset" "${configure_options[@]}"
step "Building (preset $preset${targets[*]:+: ${targets[*]}})"
cmake --build --preset "$preset" ${targets[@]:+--target "${targets[@]}"}
