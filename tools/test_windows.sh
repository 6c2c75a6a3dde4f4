#!/usr/bin/env bash
# The Windows side, as CI runs it: installs mingw-w64 and wine, cross-builds
# OpenAL32.dll and the Windows programs (preset "windows", build/windows),
# checks the Windows zip under wine, then builds the Linux tests against that
# build (build/default) and runs the ones that drive the Windows programs
# under wine, and the Linux bundle check.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh windows
ctest --preset windows
cmake --preset default -DWINDOWS_BIN_DIR="$PWD/build/windows/bin" >/dev/null
cmake --build --preset default -j2
ctest --preset default -L 'wine|bundle' -j2
