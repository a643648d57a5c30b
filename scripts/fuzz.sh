#!/usr/bin/env bash
# Fuzzes the audio file source and the settings file: builds both libFuzzer targets with clang
# (build-fuzz/), makes their seeds (tiny audio files by sox, a few settings lines), and runs
# each for half the time. Fails when either finds a crash, a sanitizer report or a hang; the
# input is kept in build-fuzz/artifacts/ (settings inputs start with "settings-").
#   scripts/fuzz.sh [seconds]    default 60, shared by the two targets
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
seconds="${1:-60}"
case "$seconds" in '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [seconds]" >&2; exit 2 ;; esac
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_FUZZ=ON > /dev/null
cmake --build "$dir" -j "$(nproc)" --target quillo_audio_file_fuzz quillo_settings_fuzz

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

# Settings lines: the defaults, each option at its ends and beyond, the int limits, numbers
# that do not fit, and text that is not numbers at all.
settings_seeds="$dir/settings-seeds"
mkdir -p "$settings_seeds" "$dir/settings-corpus"
n=0
while IFS= read -r line; do
  n=$((n + 1))
  printf '%b' "$line" > "$settings_seeds/line-$n"
done << 'LINES'
0 80 20 0 1 2 1 2
1 90 30 2
1 100 0 2 2 2 0 1
0 0 0 0 0 0 0 0
1 20 80 1 0 1 1 0
-1 -80 -20 -1 -1 -1 -1 -1
255 1000 -1000 3 3 3 2 3
2147483647 2147483647 -2147483648 2147483647 -2147483648 2147483647 -2147483648 2147483647
0 99999999999 -99999999999 0 1 2 1 2
0 80 20 0 1 2 1 2 trailing words
garbage
+0090 -0 1\t\r\n2
LINES

# run NAME SECONDS MAX_LEN CORPUS SEEDS [ARTIFACT_PREFIX]: one target, logged to NAME.log.
status=0
run() {
  local name="$1" time="$2" max_len="$3" corpus="$4" seed_dir="$5" prefix="${6:-}"
  local log="$dir/$name.log" code=0
  echo "fuzzing the $name for ${time} s ($(ls "$seed_dir" | wc -l) seeds; log: $log)"
  "$dir/fuzz/quillo_${name//-/_}_fuzz" -max_total_time="$time" -seed="${QUILLO_FUZZ_SEED:-0}" -timeout=30 -max_len="$max_len" \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/$prefix" "$corpus" "$seed_dir" \
    > "$log" 2>&1 || code=$?
  if [ "$code" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz: $name FAILED (exit $code); inputs in $dir/artifacts/" >&2
    status=1
    return 0
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE" "$log" || true
}
# Half each; -max_total_time=0 would mean no limit, so neither gets less than a second.
first=$(((seconds + 1) / 2))
second=$((seconds - first))
[ "$first" -ge 1 ] || first=1
[ "$second" -ge 1 ] || second=1
run audio-file "$first" 16384 "$dir/corpus" "$seeds"
run settings "$second" 256 "$dir/settings-corpus" "$settings_seeds" settings-
[ "$status" -eq 0 ] || exit 1
echo "fuzz: no crash in ${seconds} s"
