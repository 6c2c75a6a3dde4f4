#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12 / Ubuntu), then
# configures and builds the given CMake preset (default: "default").
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

packages=(
  cmake g++ make pkg-config          # the build
  libopenal-dev                      # OpenAL (OpenAL Soft) headers and library
  libgtest-dev libgmock-dev          # unit tests
  libvterm-dev                       # terminal emulator behind the screen tests
  openal-info                        # independent cross-check of the EFX report
  clang libclang-rt-dev              # the WAV reader's fuzzer (libFuzzer)
  sox                                # checks the audio rendered to a file
)
# Only for the Windows cross build (tools/setup.sh windows) and its tests.
windows_packages=(
  g++-mingw-w64-x86-64-posix         # cross compilers for 64-bit Windows (x86_64-w64-mingw32-g++-posix)
  gcc-mingw-w64-x86-64-posix         #   and its C compiler, for OpenAL Soft
  wine wine64                        # runs the Windows programs and their tests here
)
[ "$preset" != windows ] || packages+=("${windows_packages[@]}")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
