#!/usr/bin/env bash
# Sets everything up, builds, and runs every test of the given preset
# ("default", or "sanitize" for AddressSanitizer + UndefinedBehaviorSanitizer):
# the preset's CMake workflow, after its packages.
set -euo pipefail
exec "$(dirname "$0")/setup.sh" "${1:-default}" test
