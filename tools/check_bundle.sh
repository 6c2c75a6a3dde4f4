#!/usr/bin/env bash
# Packs the release bundle of a build tree, unpacks it into a fresh folder
# and runs both programs from its bin/ on a pseudo-terminal:
#   tools/check_bundle.sh windows [BUILD_DIR]   (default build/windows) the zip, under wine
#   tools/check_bundle.sh linux [BUILD_DIR]     (default build/default) the tar.gz
# quorvel plays the footsteps through OpenAL Soft's wave writer into a WAV
# file, which must hold them; ferrowin must print its report. Both must end
# with "Press any key to exit" and exit code 0. On Windows the bundled
# OpenAL32.dll is the OpenAL; on Linux the system's. The zip's second copy of
# the programs, in system-openal/, must run on the OpenAL of the system
# (check_system_openal below).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
platform="${1:?usage: $0 windows|linux [BUILD_DIR]}"
case "$platform" in
  windows) build="${2:-$root/build/windows}" generator=ZIP name=quorvel-ferrowin-windows-x64 ext=zip ;;
  linux) build="${2:-$root/build/default}" generator=TGZ name=quorvel-ferrowin-linux-$(uname -m) ext=tar.gz ;;
  *) echo "usage: $0 windows|linux [BUILD_DIR]" >&2; exit 2 ;;
esac
build="$(cd "$build" && pwd)"

(cd "$build" && cpack -G "$generator" >/dev/null)
archive="$build/package/$name.$ext"
work="$(mktemp -d "${TMPDIR:-/tmp}/bundle-check.XXXXXX")"
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$archive")
bundle="$work/$name"
if [ "$platform" = windows ]; then
  files=(bin/quorvel.exe bin/ferrowin.exe bin/OpenAL32.dll system-openal/quorvel.exe system-openal/ferrowin.exe)
else
  files=(bin/quorvel bin/ferrowin)
fi
for file in "${files[@]}" Media/Footsteps.wav README.txt; do
  [ -f "$bundle/$file" ] || { echo "FAIL: $file is not in the bundle" >&2; exit 1; }
done

# GCC's runtime is linked into each program and the DLL: none may need its
# DLLs, which a Windows machine does not have.
if [ "$platform" = windows ]; then
  for file in "${files[@]}"; do
    runtime="$(x86_64-w64-mingw32-objdump -p "$bundle/$file" | grep -iE 'DLL Name: *lib(stdc\+\+|gcc|winpthread)' || true)"
    [ -z "$runtime" ] || { echo "FAIL: $file needs GCC's runtime DLLs:$runtime" >&2; exit 1; }
  done
fi

output_wav="$work/quorvel.wav"
if [ "$platform" = windows ]; then
  export WINEPREFIX WINEDEBUG=-all
  WINEPREFIX="$("$root/tools/wine_prefix.sh")"
  # wine sees the Linux root as drive Z:, and Windows takes forward slashes.
  hostpath() { echo "Z:$1"; }
  launch() { echo "wine $1.exe"; }
else
  hostpath() { echo "$1"; }
  launch() { echo "./$1"; }
fi
printf '[wave]\nfile=%s\n' "$(hostpath "$output_wav")" > "$work/alsoft.conf"
export ALSOFT_DRIVERS=wave ALSOFT_CONF="$(hostpath "$work/alsoft.conf")"

# Waits (up to 60 s, the machine may be busy) until the screen log holds
# TEXT, or the program (process PID) has ended without showing it.
wait_for() {
  local text="$1" log="$2" pid="$3" status=0
  for _ in $(seq 600); do
    grep -qF "$text" "$log" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -qF "$text" "$log" 2>/dev/null && return 0
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    echo "FAIL: \"$text\" did not appear within 60 s; the screen was:" >&2
  else
    wait "$pid" || status=$?
    echo "FAIL: the program ended (status $status) without showing \"$text\"; the screen was:" >&2
  fi
  cat -v "$log" >&2
  echo >&2
  return 1
}

# Waits (up to 60 s) until the terminal named in file TTY_FILE reads keys
# raw: wine's console switches the terminal a moment after the program's
# first output, and a key typed before that would wait in the line editor.
wait_raw() {
  local tty_file="$1"
  for _ in $(seq 600); do
    [ -s "$tty_file" ] && stty -F "$(cat "$tty_file")" -a 2>/dev/null | grep -qw -- -icanon && return 0
    sleep 0.1
  done
  echo "FAIL: the terminal was never switched to raw keys" >&2
  return 1
}

# Runs PROGRAM from the bundle's FOLDER (default bin) on a pseudo-terminal
# (script), picks device 1 once the menu shows and ends the final wait with a
# key; a program that has not ended two minutes after its start is stopped
# and fails. Its screen is $work/PROGRAM.screen (FOLDER-PROGRAM.screen for
# another folder).
run_program() {
  local program="$1" folder="${2:-bin}" name="$1"
  [ "$folder" = bin ] || name="$folder-$program"
  local log="$work/$name.screen"
  mkfifo "$work/$name.keys"
  (cd "$bundle/$folder" &&
    TERM=xterm timeout 120 script -qfec "tty > $(printf %q "$work/$name.tty"); stty rows 40 cols 100; exec $(launch "$program")" /dev/null \
      < "$work/$name.keys" > "$log" 2>&1) &
  local pid=$!
  exec 8> "$work/$name.keys"
  wait_for "Select OpenAL device:" "$log" "$pid" && wait_raw "$work/$name.tty" && printf 1 >&8 &&
    wait_for "Press any key to exit" "$log" "$pid" && printf x >&8 || { exec 8>&-; return 1; }
  local status=0
  wait "$pid" || status=$?
  exec 8>&-
  if [ "$status" -ne 0 ]; then
    echo "FAIL: $program exited with $status" >&2
    return 1
  fi
}

run_program quorvel
# The dots are counted, not matched as one string: wine's console draws
# each with cursor moves of its own.
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
# The programs in system-openal/ load the OpenAL32.dll of the system. They
# run in a wine prefix of this check's own in the build tree (not the one
# above, which other checks share), whose system folder holds what this
# check puts there: first nothing, and then the stand-in OpenAL (this tree's
# bin/fakeal/OpenAL32.dll). Without an OpenAL the programs must not start;
# with the stand-in they must show its device menu ("Fake Device"), where
# those in bin/ showed OpenAL Soft's.
check_system_openal() {
  local -x WINEPREFIX
  WINEPREFIX="$("$root/tools/wine_prefix.sh" "$build/wineprefix-system-openal")"
  local system="$WINEPREFIX/drive_c/windows/system32" stand_in="$build/bin/fakeal/OpenAL32.dll" program status
  [ -f "$stand_in" ] || { echo "FAIL: no stand-in OpenAL at $stand_in (a tree built with its tests has it)" >&2; return 1; }
  rm -f "$system/OpenAL32.dll"
  for program in quorvel ferrowin; do
    status=0
    (cd "$bundle/system-openal" && WINEDEBUG=err+module timeout 60 wine "$program.exe" </dev/null \
      >"$work/missing-$program.out" 2>&1) || status=$?
    if [ "$status" -eq 0 ] || ! grep -q "OpenAL32.dll.*not found" "$work/missing-$program.out"; then
      echo "FAIL: system-openal/$program.exe without a system OpenAL: status $status, output:" >&2
      cat "$work/missing-$program.out" >&2
      return 1
    fi
  done
  cp "$stand_in" "$system/"
  for program in quorvel ferrowin; do
    run_program "$program" system-openal || return 1
    grep -qF "1. Fake Device (DEFAULT)" "$work/system-openal-$program.screen" &&
      grep -qF "1. OpenAL Soft (DEFAULT)" "$work/$program.screen" || {
      echo "FAIL: $program: system-openal/ did not show the stand-in's device or bin/ not OpenAL Soft's; the screens were:" >&2
      cat -v "$work/system-openal-$program.screen" "$work/$program.screen" >&2
      return 1
    }
  done
  rm -f "$system/OpenAL32.dll"
  echo "system-openal/ OK: without a system OpenAL the programs did not start; with the stand-in in the prefix's system32 they showed its device"
}
if [ "$platform" = windows ]; then check_system_openal; fi
echo "$platform bundle OK: $archive (quorvel: $dots dots, rendered $length s, peak $maximum, RMS $rms; ferrowin reported)"
