#!/usr/bin/env bash
# The Windows side, as CI runs it: installs mingw-w64 and wine, cross-builds
# OpenAL32.dll and the Windows programs (preset "windows", build/windows),
# then builds the tests in a tree of their own (preset "wine", build/wine)
# and runs the ones that drive the Windows programs under wine, the zip's
# among them. build/default is left as it is.
set -euo pipefail
"$(dirname "$0")/setup.sh" windows
exec "$(dirname "$0")/setup.sh" wine test
