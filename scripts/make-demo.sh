#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes resources/demo.flac, the demo recording for `quillo-sa --input`.
#   scripts/make-demo.sh [OUTPUT.flac]
#
# Origin: synthesised from nothing by this script with SoX (sine partials, white noise); no
# recorded or third-party audio is used. Same bytes on every run with the same SoX and
# libFLAC: SoX's repeatable mode (-R) seeds its noise generator and dither.
#
# What it holds, about 16.4 s at 22050 Hz, mono, 16 bits: one and a half seconds of faint
# noise alone (time to measure a noise reference), then held notes of an A major arpeggio
# up from A3, an exponential glide from A4 to A5, the arpeggio down, a glide from A4 back to
# A3 and a held A3, all over the same faint noise, faded in and out. Each note is eight
# harmonic sines at 1/k of the fundamental's amplitude, a sawtooth cut off below the Nyquist
# frequency: the highest partial, 8 x 880 Hz, stays under 11025 Hz, so nothing folds back.
set -euo pipefail
cd "$(dirname "$0")/.."
output="${1:-resources/demo.flac}"
command -v sox > /dev/null || { echo "make-demo.sh: sox is not installed" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rate=22050
harmonics=8
parts=()

next_part() { printf '%s/part%02d.wav' "$work" "${#parts[@]}"; }

# note SECONDS HZ[/HZ2] [EFFECT...]: one note, or an exponential glide from HZ to HZ2, with
# a short attack and release so that held notes are heard (and tracked) as separate notes.
note() {
  local seconds="$1" from="${2%/*}" to="${2#*/}"
  shift 2
  local mix=() k sweep
  for ((k = 1; k <= harmonics; k++)); do
    sweep="$(awk -v a="$from" -v b="$to" -v k="$k" 'BEGIN { printf "%.3f", a * k }')"
    [ "$from" = "$to" ] || sweep+="/$(awk -v b="$to" -v k="$k" 'BEGIN { printf "%.3f", b * k }')"
    sox -R -n -r "$rate" -c 1 -b 32 "$work/h$k.wav" synth "$seconds" sine "$sweep" "$@"
    mix+=(-v "$(awk -v k="$k" 'BEGIN { printf "%.4f", 0.18 / k }')" "$work/h$k.wav")
  done
  local file
  file="$(next_part)"
  sox -R -m "${mix[@]}" "$file" fade q 0.02 "$seconds" 0.06
  parts+=("$file")
}
rest() {
  local file
  file="$(next_part)"
  sox -R -n -r "$rate" -c 1 -b 32 "$file" trim 0 "$1"
  parts+=("$file")
}

rest 1.5
note 1.0 220.00          # A3
note 1.0 277.18          # C#4
note 1.0 329.63          # E4
note 1.2 440.00          # A4
note 3.0 440/880         # glide A4 to A5, a semitone every 0.25 s
note 1.2 880.00          # A5
note 1.0 659.26          # E5
note 1.0 554.37          # C#5
note 1.0 440.00          # A4
# SoX's exponential sweep only rises well; a rising glide played backwards falls.
note 2.0 220/440 reverse # glide A4 to A3
note 1.0 220.00          # A3
rest 0.5

sox -R "${parts[@]}" "$work/melody.wav"
seconds="$(soxi -D "$work/melody.wav")"
sox -R -n -r "$rate" -c 1 -b 32 "$work/noise.wav" synth "$seconds" whitenoise vol 0.01
mkdir -p "$(dirname "$output")"
# Explicit volumes keep -m from halving the melody.
sox -R -m -v 1 "$work/melody.wav" -v 1 "$work/noise.wav" -b 16 -C 8 "$output" \
  fade t 0.3 0 0.8
echo "make-demo.sh: wrote $output ($(soxi -d "$output"), $(stat -c %s "$output") bytes)"
