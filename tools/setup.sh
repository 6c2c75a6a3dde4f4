#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12 and 13, Ubuntu 22.04
# and 24.04), then configures and builds the given CMake preset (default:
# "default"). Every step is announced; apt-get and the build show their own
# progress, and their errors stay on the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

step() { printf '==> %s\n' "$*"; }

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

# install_packages ENTRY...: installs every ENTRY not yet installed. An ENTRY
# is a package name, or alternatives "a|b" for a package named differently
# between releases: any one installed satisfies it, otherwise the first one
# that the package manager offers is installed.
install_packages() {
  local entry chosen wanted=() unmet=()
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
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "${wanted[@]}"
}

packages=(
  cmake g++ make pkg-config          # the build
  libopenal-dev                      # OpenAL (OpenAL Soft) headers and library
  libgtest-dev                       # unit and program tests
  libvterm-dev                       # terminal emulator behind the screen tests
  'openal-info|openal-tools'         # OpenAL Soft's info tool: what the tests expect of it
  clang libclang-rt-dev              # the WAV reader's fuzzer (libFuzzer)
  sox                                # checks the audio in a release bundle's rendered WAV
)
# Only for the Windows cross build (tools/setup.sh windows) and its tests.
windows_packages=(
  g++-mingw-w64-x86-64-posix         # cross compilers for 64-bit Windows (x86_64-w64-mingw32-g++-posix)
  gcc-mingw-w64-x86-64-posix         #   and its C compiler, for OpenAL Soft
  wine wine64                        # runs the Windows programs and their tests here
)
# The sound server the tests start, with its command-line clients: PipeWire
# and WirePlumber where the release's OpenAL Soft has its PipeWire backend
# (1.22 and later: Debian 13, testing), PulseAudio before (Debian 12).
sound_server_packages() {
  local version
  version=$(LC_ALL=C apt-cache policy libopenal1 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  if [ -z "$version" ] || [ "$version" = "(none)" ]; then
    update_lists >&2
    version=$(LC_ALL=C apt-cache policy libopenal1 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  fi
  if dpkg --compare-versions "${version:-0}" ge 1:1.22; then
    echo pipewire pipewire-bin wireplumber pipewire-pulse pulseaudio-utils
  else
    echo pulseaudio pulseaudio-utils
  fi
}
read -ra server_packages <<<"$(sound_server_packages)"
packages+=("${server_packages[@]}")
[ "$preset" != windows ] || packages+=("${windows_packages[@]}")
install_packages "${packages[@]}"

step "Configuring the build (cmake --preset $preset)"
cmake --preset "$preset"
step "Building (preset $preset)"
cmake --build --preset "$preset" -j"$(nproc)"
