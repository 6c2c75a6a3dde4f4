#!/usr/bin/env bash
# Makes the private wine prefix that runs the Windows programs here, once,
# and prints its path:
#   WINEPREFIX=$(tools/wine_prefix.sh [DIR])
# DIR defaults to $WINEPREFIX, else build/wineprefix in the source tree. A
# prefix that is already complete is reused as it is; a lock keeps two
# callers (parallel tests) from making it at the same time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="${1:-${WINEPREFIX:-$root/build/wineprefix}}"
mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"

exec 9> "$prefix.lock"
flock 9
if [ ! -f "$prefix/.made" ]; then
  rm -rf "$prefix"
  # No Mono or Gecko: the programs are plain console programs.
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
  touch "$prefix/.made"
fi
echo "$prefix"
