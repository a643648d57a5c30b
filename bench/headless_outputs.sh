#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Records everything headless runs of a program write (pitch log, snapshot, --stats line,
# the settings that "Exit" saves) over a matrix of short generated files, both device
# profiles and the fixed-address one, both pitch estimators and several --command scripts,
# each case with and without --snapshot; or compares two such records byte for byte. Made
# to hold a speed-up to the outputs of the program before it.
#   bench/headless_outputs.sh record PROGRAM FOLDER
#   bench/headless_outputs.sh compare FOLDER_A FOLDER_B
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

usage() { echo "usage: bench/headless_outputs.sh record PROGRAM FOLDER | compare A B" >&2; exit 2; }
[ $# -eq 3 ] || usage

if [ "$1" = compare ]; then
  a="$2" b="$3"
  # Every file of either record, and no file in one that the other lacks.
  if diff -r -q "$a/out" "$b/out"; then
    echo "headless_outputs: $(find "$a/out" -type f | wc -l) files identical"
    exit 0
  fi
  echo "headless_outputs: the records differ" >&2
  exit 1
fi
[ "$1" = record ] || usage
program="$(realpath "$2")"
folder="$3"
[ -x "$program" ] || usage
mkdir -p "$folder/audio" "$folder/out"
audio="$folder/audio"

# Gliding tones over noise (as the long-run scripts use), a steady 440 Hz tone whose end is
# not a whole block, a stereo file at 44100 Hz (mixed and converted), clicks in silence.
make_moving_tone 21 "$audio/glide.wav"
make_moving_tone 70 "$audio/long.wav"   # past the first 1024 blocks
[ -s "$audio/a440.wav" ] || sox -R -n -r 22050 -c 1 -b 16 "$audio/a440.wav" synth 7.3 sine 440 \
  synth 7.3 whitenoise amod 0.02 vol 0.6
[ -s "$audio/stereo.wav" ] || sox -R -n -r 44100 -c 2 -b 16 "$audio/stereo.wav" \
  synth 6 sine 196 sine 1300 vol 0.4
[ -s "$audio/clicks.wav" ] || sox -R -n -r 22050 -c 1 -b 16 "$audio/clicks.wav" \
  synth 5 square 3 vol 0.7 highpass 2000

profiles=(default small fixed)
oem_text() {
  case "$1" in
    default) echo "Linux desktop" ;;
    small) echo "P000000000J6" ;;         # the 11025 Hz device
    fixed) echo "H00J00000005H38" ;;      # the same, with the fixed-address frame buffer
  esac
}

# Command scripts: views, noise reference on and off, automatic range, the three grids,
# several at one block, "Exit" (which also saves the settings), and pause.
scripts=(
  ""
  "40060@20"
  "1206@6 40060@40 1202@60 1207@70 1205@80 40009@120 1205@121"
  "40060@9 1208@15 1206@30 1206@31 1206@50 1202@55 1207@55"
  "1208@3 40060@25 40060@26 40009@26 40060@110 40025@130"
  "1206@2 1208@40 40025@70"
  "1203@20 40060@40 1203@150 1203@400 40009@420"
)

case_count=0
for file in "$audio"/*.wav; do
  name="$(basename "$file" .wav)"
  for profile in "${profiles[@]}"; do
    for pitch in classic accurate; do
      for s in "${!scripts[@]}"; do
        commands=()
        for c in ${scripts[$s]}; do commands+=(--command "$c"); done
        for picture in snapshot none; do
          tag="$name.$profile.$pitch.script$s.$picture"
          run="$folder/run"
          rm -rf "$run"
          mkdir -p "$run/config" "$run/runtime" "$run/state"
          chmod 700 "$run/runtime" "$run/state"
          extra=()
          [ "$picture" = snapshot ] && extra=(--snapshot "$folder/out/$tag.png")
          XDG_CONFIG_HOME="$run/config" XDG_RUNTIME_DIR="$run/runtime" \
            XDG_STATE_HOME="$run/state" QT_QPA_PLATFORM=offscreen \
            "$program" --headless --input "$file" --oem-text "$(oem_text "$profile")" \
            --pitch "$pitch" --pitch-log "$folder/out/$tag.csv" --stats "${commands[@]}" \
            "${extra[@]}" > /dev/null 2> "$folder/out/$tag.err" ||
            echo "exit $?" >> "$folder/out/$tag.err"
          settings="$run/config/Quillo-SA/setting.txt"
          [ -e "$settings" ] && cp "$settings" "$folder/out/$tag.settings"
          case_count=$((case_count + 1))
        done
      done
    done
  done
done
rm -rf "$folder/run"
echo "headless_outputs: $case_count runs recorded in $folder/out"
