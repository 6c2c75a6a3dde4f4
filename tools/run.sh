#!/usr/bin/env bash
# Sets up and builds what the programs need (not the tests: tools/test.sh
# does those), and runs one of them on this terminal:
#   tools/run.sh            runs quorvel (plays Footsteps.wav)
#   tools/run.sh ferrowin   runs ferrowin (the EFX report)
# With a sound server running (PipeWire, PulseAudio or JACK) OpenAL Soft plays
# through it; without one, on a sound card, through ALSA; with neither, it is
# told to render into a WAV file. Standard error says which. What the user
# set for the run (PULSE_SINK or PIPEWIRE_NODE choosing a sink,
# ALSOFT_DRIVERS, ALSOFT_CONF) reaches the program as it is.
# The set-up's steps and the build's progress go to standard error, before the
# program starts, so that standard output carries only what the program writes.
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-quorvel}"
[[ $program =~ ^(quorvel|ferrowin)$ ]] || { echo "usage: $0 [quorvel|ferrowin]" >&2; exit 2; }
tools/setup.sh run "$program" >&2

runtime="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}"

# True when the command answers, or cannot be asked because its client is
# not installed (then the socket is taken at its word). A client fails at once
# on a socket left behind by a server that is gone; one still waiting after
# 5 s has reached a server that runs but is slow (a busy machine): that counts
# as an answer, and the sound goes to that server rather than into a file.
answers() {
  command -v "$1" >/dev/null 2>&1 || return 0
  local status=0
  XDG_RUNTIME_DIR="$runtime" timeout 5 "$@" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 124 ]
}

# The sound server that answers here, by name; nothing when none does (no
# socket, or one left behind by a server that is gone). The JACK server is
# the one its clients reach, $JACK_DEFAULT_SERVER or "default"; asking it
# never starts one.
sound_server() {
  if [ -S "$runtime/pipewire-0" ] && answers pw-cli info 0; then echo PipeWire
  elif [ -S "$runtime/pulse/native" ] && answers pactl info; then echo PulseAudio
  elif [ -S "/dev/shm/jack_${JACK_DEFAULT_SERVER:-default}_$(id -u)_0" ] &&
    JACK_NO_START_SERVER=1 answers jack_lsp; then echo JACK
  fi
}

# The first sound card's name, from the kernel's list of cards: a line
# " 0 [PCH            ]: HDA-Intel - HDA Intel PCH" per card (and one of
# details). With ALSA and no card the list reads "--- no soundcards ---";
# without ALSA in the kernel there is none. Every file under /proc reports a
# size of 0: only the text tells.
sound_card() { sed -n '/^ *[0-9][0-9]* \[/{s/^[^]]*\]: //p;q}' /proc/asound/cards 2>/dev/null; }

build="$PWD/build/default"
if [ -z "${ALSOFT_DRIVERS:-}" ]; then
  server=$(sound_server)
  if [ -n "$server" ]; then
    # OpenAL Soft 1.19 (Debian 12) tries JACK first, but later releases try
    # ALSA before it, which fails without a free card: JACK is named.
    [ "$server" != JACK ] || export ALSOFT_DRIVERS=jack
    echo "Sound server $server is running: the sound plays through it" >&2
  elif [ -n "${ALSOFT_CONF:-}" ]; then
    echo "No sound server here: OpenAL Soft is left to the configuration in ALSOFT_CONF ($ALSOFT_CONF)" >&2
  elif card=$(sound_card) && [ -n "$card" ]; then
    echo "No sound server here, but a sound card ($card): OpenAL Soft plays on it through ALSA" >&2
  else
    output="$build/$program-output.wav"
    printf '[wave]\nfile=%s\n' "$output" > "$build/alsoft-wave.conf"
    export ALSOFT_DRIVERS=wave ALSOFT_CONF="$build/alsoft-wave.conf"
    echo "No sound card or sound server here: the sound goes to $output" >&2
  fi
fi
cd "$build/bin"
exec "./$program"
