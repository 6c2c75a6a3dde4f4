#!/usr/bin/env bash
# Packs the Windows bundle of a windows build tree, unpacks it into a fresh
# folder and runs both programs from its bin/ under wine, on a pseudo-
# terminal, with the bundled OpenAL32.dll:
#   tools/check_windows_bundle.sh [BUILD_DIR]     (default build/windows)
# quorvel plays the footsteps through OpenAL Soft's wave writer into a WAV
# file, which must hold sound; ferrowin must print its report. Both must
# end with "Press any key to exit" and exit code 0.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build/windows}" && pwd)"

(cd "$build" && cpack -G ZIP >/dev/null)
zip="$build/package/quorvel-ferrowin-windows-x64.zip"
work="$(mktemp -d "${TMPDIR:-/tmp}/windows-bundle.XXXXXX")"
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
bundle="$work/quorvel-ferrowin-windows-x64"
for file in bin/quorvel.exe bin/ferrowin.exe bin/OpenAL32.dll Media/Footsteps.wav README.txt; do
  [ -f "$bundle/$file" ] || { echo "FAIL: $file is not in the bundle" >&2; exit 1; }
done

export WINEPREFIX WINEDEBUG=-all
WINEPREFIX="$("$root/tools/wine_prefix.sh")"
# wine sees the Linux root as drive Z:, and Windows takes forward slashes.
winpath() { echo "Z:$1"; }
output_wav="$work/quorvel.wav"
printf '[wave]\nfile=%s\n' "$(winpath "$output_wav")" > "$work/alsoft.conf"
export ALSOFT_DRIVERS=wave ALSOFT_CONF="$(winpath "$work/alsoft.conf")"

# Waits (up to 60 s, the machine may be busy) until the screen log holds TEXT.
wait_for() {
  local text="$1" log="$2"
  for _ in $(seq 600); do
    grep -qF "$text" "$log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: \"$text\" did not appear; the screen was:" >&2
  cat -v "$log" >&2
  return 1
}

# Runs PROGRAM from the bundle's bin/ on a pseudo-terminal (script), picks
# device 1 once the menu shows and ends the final wait with a key.
run_program() {
  local program="$1" log="$work/$1.screen"
  mkfifo "$work/$program.keys"
  (cd "$bundle/bin" &&
    TERM=xterm script -qfec "stty rows 40 cols 100; exec wine $program.exe" /dev/null \
      < "$work/$program.keys" > "$log" 2>&1) &
  local pid=$!
  exec 8> "$work/$program.keys"
  wait_for "Select OpenAL device:" "$log" && printf 1 >&8 &&
    wait_for "Press any key to exit" "$log" && printf x >&8 || { kill "$pid"; exec 8>&-; return 1; }
  local status=0
  wait "$pid" || status=$?
  exec 8>&-
  if [ "$status" -ne 0 ]; then
    echo "FAIL: $program.exe exited with $status" >&2
    return 1
  fi
}

run_program quorvel
# wine's console draws each dot with its own cursor moves, so dots are counted.
dots="$(sed -n '/Playing Source/,$p' "$work/quorvel.screen" | tr -cd . | wc -c)"
[ "$dots" -ge 10 ] || { echo "FAIL: quorvel printed $dots dots while playing" >&2; exit 1; }
# The footsteps are about 4 s of sound at a peak of 0.7 of full scale.
stats="$(sox "$output_wav" -n stat 2>&1)"
length="$(awk '/^Length/ {print $3}' <<<"$stats")"
maximum="$(awk '/^Maximum amplitude/ {print $3}' <<<"$stats")"
rms="$(awk '/^RMS +amplitude/ {print $3}' <<<"$stats")"
if ! awk -v l="$length" -v m="$maximum" -v r="$rms" 'BEGIN { exit !(l >= 3.5 && m >= 0.3 && r >= 0.01) }'; then
  echo "FAIL: the rendered WAV holds no footsteps (length $length s, peak $maximum, RMS $rms)" >&2
  exit 1
fi

run_program ferrowin
grep -qF "Filters Supported: -" "$work/ferrowin.screen" || { echo "FAIL: ferrowin printed no report" >&2; exit 1; }
echo "Windows bundle OK: $zip (quorvel: $dots dots, rendered $length s, peak $maximum, RMS $rms; ferrowin reported)"
