#!/usr/bin/env bash
# Installs clang, builds the WAV reader's fuzz target with it (preset "fuzz")
# and runs it for a bounded time, starting from the generated seed corpus.
#   tests/playback/run_fuzz.sh [seconds]      (default 60)
# The corpus grown by earlier runs is kept in build/fuzz/fuzz-corpus; a crash
# leaves its input in build/fuzz/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
tools/setup.sh fuzz
build="$PWD/build/fuzz"
rm -rf "$build/fuzz-seeds"
mkdir -p "$build/fuzz-seeds" "$build/fuzz-corpus"
"$build/bin/make_fuzz_seeds" "$build/fuzz-seeds"
cd "$build"
"$build/bin/fuzz_wave_reader" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -malloc_limit_mb=64 -print_final_stats=1 "$build/fuzz-corpus" "$build/fuzz-seeds"
