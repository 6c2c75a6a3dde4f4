#!/usr/bin/env bash
# Sets everything up, builds, and runs every test of the given preset
# ("default", or "sanitize" for AddressSanitizer + UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
tools/setup.sh "$preset"
ctest --preset "$preset"
