#!/usr/bin/env bash
# Fuzzes the audio file source: builds the libFuzzer target with clang (build-fuzz/), makes a
# seed corpus of tiny audio files with sox, and runs the fuzzer for a bounded time. Fails when
# it finds a crash, a sanitizer report or a hang; the input is kept in build-fuzz/artifacts/.
#   scripts/fuzz.sh [seconds]    default 60
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
seconds="${1:-60}"
case "$seconds" in '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [seconds]" >&2; exit 2 ;; esac
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_FUZZ=ON > /dev/null
cmake --build "$dir" -j "$(nproc)" --target quillo_audio_file_fuzz

seeds="$dir/seeds"
mkdir -p "$seeds" "$dir/corpus" "$dir/artifacts"
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

log="$dir/fuzz.log"
echo "fuzzing the audio file source for ${seconds} s ($(ls "$seeds" | wc -l) seeds; log: $log)"
status=0
"$dir/fuzz/quillo_audio_file_fuzz" -max_total_time="$seconds" -timeout=30 -max_len=16384 \
  -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" "$seeds" > "$log" 2>&1 ||
  status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "fuzz: FAILED (exit $status); inputs in $dir/artifacts/" >&2
  exit 1
fi
grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE" "$log" || true
echo "fuzz: no crash in ${seconds} s"
