#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pitch accuracy of the classic and the accurate estimator beside every method of
# aubiopitch, on the same generated files (tones of known pitch made by the tool, plain
# waveforms made by sox, noise, silence, decays, vibrato, glides). Prints a table per group.
#   bench/pitch_accuracy.sh    the tool is $QUILLO_BUILD/bench/quillo_pitch_accuracy
#                              (configure with -DQUILLO_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUILLO_BUILD:-build}"
tool="$build/bench/quillo_pitch_accuracy"
[ -x "$tool" ] || { echo "pitch_accuracy: $tool is missing; build it first" >&2; exit 2; }
command -v sox > /dev/null || { echo "pitch_accuracy: sox is needed" >&2; exit 2; }
aubio_methods=(yin yinfft yinfast mcomb schmitt fcomb specacf)
command -v aubiopitch > /dev/null || { echo "pitch_accuracy: no aubiopitch, aubio left out" >&2; aubio_methods=(); }

work="$build/pitch-accuracy"
rm -rf "$work"
mkdir -p "$work"
results="$work/results.txt"
: > "$results"

while IFS=$'\t' read -r name group source; do
  raw="$work/$name.raw"
  wav="$work/$name.wav"
  case "$source" in
    sox:*)
      IFS=: read -r _ wave hz <<< "$source"
      # 0.3 s of silence, then 2 s of the waveform at -6 dBFS.
      sox -n -r 22050 -b 16 -c 1 "$wav" synth 2 "$wave" "$hz" gain -6 pad 0.3 0
      sox "$wav" -t s16 -r 22050 -c 1 "$raw" ;;
    *)
      "$tool" make "$name" > "$raw"
      sox -t s16 -r 22050 -c 1 "$raw" "$wav" ;;
  esac
  for estimator in classic accurate; do
    "$tool" log "$estimator" < "$raw" | "$tool" score "$name" "$estimator" >> "$results"
  done
  for method in "${aubio_methods[@]}"; do
    aubiopitch -i "$wav" -p "$method" 2> /dev/null | "$tool" score "$name" "aubio-$method" >> "$results"
  done
done < <("$tool" list)

"$tool" table < "$results"
