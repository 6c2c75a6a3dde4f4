#!/usr/bin/env bash
# Sets up and builds what the programs need (not the tests: tools/test.sh
# does those), and runs one of them on this terminal:
#   tools/run.sh            runs quorvel (plays Footsteps.wav)
#   tools/run.sh ferrowin   runs ferrowin (the EFX report)
# On a machine without a sound card or sound server, OpenAL Soft is told to
# render into a WAV file instead, and the path of that file is shown.
# The set-up's steps and the build's progress go to standard error, before the
# program starts, so that standard output carries only what the program writes.
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-quorvel}"
case "$program" in
  quorvel | ferrowin) ;;
  *) echo "usage: $0 [quorvel|ferrowin]" >&2; exit 2 ;;
esac
tools/setup.sh run "$program" >&2

has_sound() {
  [ -s /proc/asound/cards ] && ! grep -q 'no soundcards' /proc/asound/cards && return 0
  local runtime="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}"
  [ -S "$runtime/pulse/native" ] || [ -S "$runtime/pipewire-0" ]
}

build="$PWD/build/default"
if ! has_sound && [ -z "${ALSOFT_DRIVERS:-}" ]; then
  output="$build/$program-output.wav"
  printf '[wave]\nfile=%s\n' "$output" > "$build/alsoft-wave.conf"
  export ALSOFT_DRIVERS=wave ALSOFT_CONF="$build/alsoft-wave.conf"
  echo "No sound card or sound server here: the sound goes to $output" >&2
fi
cd "$build/bin"
exec "./$program"
