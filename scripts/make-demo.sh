#!/usr/bin/env bash
# Makes resources/demo.flac, the demo recording for `quillo-sa --input`.
#   scripts/make-demo.sh [OUTPUT.flac]
#
# Origin: synthesised from nothing by this script with SoX (sawtooth tones, white noise);
# no recorded or third-party audio is used. Same bytes on every run with the same SoX and
# libFLAC: SoX's repeatable mode (-R) seeds its noise generator and dither.
#
# What it holds, about 16.4 s at 22050 Hz, mono, 16 bits: one and a half seconds of faint
# noise alone (time to measure a noise reference), then held notes of an A major arpeggio up from A3, an
# exponential glide from A4 to A5, the arpeggio down, a glide from A4 back to A3 and a
# held A3, all over the same faint noise, faded in and out. Sawtooths carry every
# harmonic; they are synthesised at four times the rate and filtered down, so that no
# harmonic folds back below the Nyquist frequency as a false partial.
set -euo pipefail
cd "$(dirname "$0")/.."
output="${1:-resources/demo.flac}"
command -v sox > /dev/null || { echo "make-demo.sh: sox is not installed" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
synth_rate=88200
parts=()
n=0

# part SECONDS SYNTH-ARGUMENTS...: one piece of the melody, with a short attack and release
# so that held notes are heard (and tracked) as separate notes.
part() {
  local seconds="$1"
  shift
  n=$((n + 1))
  local file
  file="$(printf '%s/part%02d.wav' "$work" "$n")"
  sox -R -n -r "$synth_rate" -c 1 -b 32 "$file" synth "$seconds" "$@" \
    fade q 0.02 "$seconds" 0.06 vol 0.25
  parts+=("$file")
}
rest() {
  n=$((n + 1))
  local file
  file="$(printf '%s/part%02d.wav' "$work" "$n")"
  sox -R -n -r "$synth_rate" -c 1 -b 32 "$file" trim 0 "$1"
  parts+=("$file")
}

rest 1.5
part 1.0 sawtooth 220.00         # A3
part 1.0 sawtooth 277.18         # C#4
part 1.0 sawtooth 329.63         # E4
part 1.2 sawtooth 440.00         # A4
part 3.0 sawtooth 440/880        # glide A4 to A5, a semitone every 0.25 s
part 1.2 sawtooth 880.00         # A5
part 1.0 sawtooth 659.26         # E5
part 1.0 sawtooth 554.37         # C#5
part 1.0 sawtooth 440.00         # A4
# SoX's exponential sweep only rises well; a rising glide played backwards falls.
part 2.0 sawtooth 220/440 reverse  # glide A4 to A3
part 1.0 sawtooth 220.00         # A3
rest 0.5

sox -R "${parts[@]}" "$work/melody.wav"
seconds="$(soxi -D "$work/melody.wav")"
sox -R -n -r "$synth_rate" -c 1 -b 32 "$work/noise.wav" synth "$seconds" whitenoise vol 0.01
mkdir -p "$(dirname "$output")"
# Mixing without -m's halving keeps the melody's level; the rate effect filters away
# everything above 11025 Hz before it decimates.
sox -R -m -v 1 "$work/melody.wav" -v 1 "$work/noise.wav" -r 22050 -b 16 -C 8 "$output" \
  rate -v 22050 fade t 0.3 0 0.8
echo "make-demo.sh: wrote $output ($(soxi -d "$output"), $(stat -c %s "$output") bytes)"
