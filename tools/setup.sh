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
set -euo pipefail
cd "$(dirname "$0")/.."
job="${1:-default}"

step() { printf '==> %s [%d s]\n' "$*" "$SECONDS"; }

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

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
  $sudo apt-get update
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
  for entry in "$@"; do
    first_of installed "$entry" >/dev/null || unmet+=("$entry")
  done
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
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "${options[@]}" "${wanted[@]}"
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
# The sound server the tests start, with its command-line clients: PipeWire
# and WirePlumber where the release's OpenAL Soft has its PipeWire backend
# (1.22 and later: Debian 13, testing), PulseAudio before (Debian 12); JACK
# (jackd2) on every release, with its clients and recorder (in jackd2 itself
# before Debian 13, in jack-example-tools since).
sound_server_packages() {
  local version
  version=$(LC_ALL=C apt-cache policy libopenal1 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    update_lists >&2
    version=$(LC_ALL=C apt-cache policy libopenal1 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  fi
  local jack=jackd2
  ! offered jack-example-tools || jack+=" jack-example-tools"
  if dpkg --compare-versions "${version:-0}" ge 1:1.22; then
    echo pipewire pipewire-bin wireplumber pipewire-pulse pulseaudio-utils $jack
  else
    echo pulseaudio pulseaudio-utils $jack
  fi
}

# jackd2 asks when it is installed whether its users may ask for realtime
# scheduling (an entry in the system's limits); the tests ask for none. The
# answer, no, is given only to that question and only before jackd2 is
# installed, so no question stops the installation.
answer_jackd2_question() {
  installed jackd2 && return 0
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
    read -ra server_packages <<<"$(sound_server_packages)"
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
  *)
    echo "usage: $0 run|default|sanitize|fuzz|windows|wine" >&2
    exit 2
    ;;
esac
install_packages "${audio_packages[@]}"
install_packages --no-recommends "${packages[@]}"

step "Configuring the build (cmake --preset $preset${configure_options[*]:+ ${configure_options[*]}})"
cmake --preset "$preset" "${configure_options[@]}"
step "Building (preset $preset${targets[*]:+: ${targets[*]}})"
cmake --build --preset "$preset" ${targets[@]:+--target "${targets[@]}"}
