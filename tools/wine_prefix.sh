#!/usr/bin/env bash
# Makes the private wine prefix that runs the Windows programs here, once,
# and prints its path:
#   prefix=$(tools/wine_prefix.sh [DIR])
# DIR defaults to build/wineprefix in the source tree; a WINEPREFIX of the
# caller's environment is not used (it names the user's own prefix). A
# prefix that is already complete is reused as it is; a lock on the folder
# keeps two callers (parallel tests) from making it at the same time.
#
# Only a folder that this script made, or an empty one, becomes a prefix: the
# folder gets a mark (.making) before wine writes anything into it, and a
# second one (.made) once the prefix is complete. A folder with the first
# mark only is a prefix whose making was interrupted, and is made again; a
# folder that holds anything without a mark is refused and left as it is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="${1:-$root/build/wineprefix}"
if [ -e "$prefix" ] && [ ! -d "$prefix" ]; then
  echo "$0: $prefix is not a folder: it is left as it is" >&2
  exit 1
fi
mkdir -p "$prefix"
prefix="$(cd "$prefix" && pwd)"

exec 9< "$prefix"
flock 9
if [ ! -f "$prefix/.made" ]; then
  if [ -f "$prefix/.making" ]; then
    # Only the folder's content goes: the lock is held on the folder itself.
    find "$prefix" -mindepth 1 -maxdepth 1 -exec rm -rf --one-file-system {} +
  elif [ -n "$(ls -A "$prefix")" ]; then
    echo "$0: $prefix holds files but is not a wine prefix made by this script: it is left as it is (name an empty or new folder)" >&2
    exit 1
  fi
  touch "$prefix/.making"
  # No Mono or Gecko: the programs are plain console programs.
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
  touch "$prefix/.made"
fi
echo "$prefix"
