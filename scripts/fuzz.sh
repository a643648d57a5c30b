#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the audio file source and the settings file: builds both libFuzzer targets with clang
# (build-fuzz/), makes the audio seeds (tiny files by sox) and starts from the inputs kept in
# fuzz/corpus/ (seeds and earlier findings). Fails when either target finds a crash, a
# sanitizer report or a hang; the input is kept in build-fuzz/artifacts/ (settings inputs
# start with "settings-").
#   scripts/fuzz.sh [SECONDS]   fuzzing for SECONDS (default 600, shared by the targets), with
#                               a random seed (QUILLO_FUZZ_SEED fixes one) and a corpus that
#                               grows in build-fuzz/ from run to run
# Exploration is not part of CI: what it reaches depends on time, load and the machine. CI
# runs the kept inputs instead (the fuzz_replay_* tests of the plain suite).
# A finding, once fixed, goes into fuzz/corpus/<target>/ under a name that says what it is:
# the test suite replays that folder, and every later fuzzing run starts from it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
seconds=600
case "${1:-}" in
  '') ;;
  *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;;
  *) seconds="$1" ;;
esac
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_FUZZ=ON > /dev/null
cmake --build "$dir" -j "$(nproc)" --target quillo_audio_file_fuzz quillo_settings_fuzz

seeds="$dir/seeds"
mkdir -p "$seeds" "$dir/artifacts"
# name, then sox's output options: a few hundredths of a second of a tone and noise each.
seed() {
  local name="$1"; shift
  [ -s "$seeds/$name" ] && return 0
  sox -D -n "$@" "$seeds/$name" synth 0.03 sine 440 synth 0.03 whitenoise amod 0.2 2> /dev/null ||
    sox -D -n "$@" "$seeds/$name" synth 0.03 sine 440
}
seed u8-8000.wav -r 8000 -c 1 -b 8 -e unsigned-integer
seed s16-44100-stereo.wav -r 44100 -c 2 -b 16
seed f32-48000.wav -r 48000 -c 1 -b 32 -e floating-point
seed ima-adpcm.wav -r 8000 -c 1 -e ima-adpcm
seed ms-adpcm.wav -r 11025 -c 2 -e ms-adpcm
seed s16-87.wav -r 87 -c 1 -b 16
seed s16-22050.flac -r 22050 -c 1 -b 16
seed s24-96000-stereo.flac -r 96000 -c 2 -b 24
seed s16-11025.aiff -r 11025 -c 1 -b 16
seed s24-44100-stereo.aifc -r 44100 -c 2 -b 24
seed ulaw-8000.au -r 8000 -c 1 -e u-law
seed s16-16000.w64 -r 16000 -c 1 -b 16

# run NAME BOUND MAX_LEN SEED_DIRS... : one target, logged to NAME.log. The first folder
# given to libFuzzer is where it adds what it finds.
status=0
run() {
  local name="$1" bound="$2" max_len="$3"; shift 3
  local log="$dir/$name.log" code=0 corpus="$dir/corpus-$name" prefix=""
  [ "$name" = settings ] && prefix=settings-
  mkdir -p "$corpus"
  echo "fuzzing the $name: $bound (log: $log)"
  "$dir/fuzz/quillo_${name//-/_}_fuzz" "$bound" -seed="$fuzz_seed" -timeout=30 \
    -max_len="$max_len" -reload=0 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$prefix" \
    "$corpus" "$@" > "$log" 2>&1 || code=$?
  if [ "$code" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz: $name FAILED (exit $code); inputs in $dir/artifacts/" >&2
    status=1
    return 0
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE" "$log" || true
}
fuzz_seed="${QUILLO_FUZZ_SEED:-0}"
# Half each; -max_total_time=0 would mean no limit, so neither gets less than a second.
first=$(((seconds + 1) / 2))
second=$((seconds - first))
[ "$first" -ge 1 ] || first=1
[ "$second" -ge 1 ] || second=1
run audio-file "-max_total_time=$first" 16384 fuzz/corpus/audio-file "$seeds"
run settings "-max_total_time=$second" 256 fuzz/corpus/settings
[ "$status" -eq 0 ] || exit 1
echo "fuzz: no finding in ${seconds} s"
