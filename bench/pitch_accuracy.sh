#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pitch accuracy of the classic and the accurate estimator beside every method of
# aubiopitch, on the same generated files (tones of known pitch made by the tool, plain
# waveforms made by sox, noise, silence, decays, vibrato, glides, and General MIDI notes
# rendered by FluidSynth when it and its soundfont are installed). Prints a table per group.
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

# Debian's fluidsynth and fluid-soundfont-gm; QUILLO_SOUNDFONT names another soundfont.
soundfont="${QUILLO_SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}"
fluid=1
if ! command -v fluidsynth > /dev/null || [ ! -r "$soundfont" ]; then
  echo "pitch_accuracy: no fluidsynth or $soundfont, FluidSynth notes left out" >&2
  fluid=0
fi

work="$build/pitch-accuracy"
rm -rf "$work"
mkdir -p "$work"
results="$work/results.txt"
: > "$results"

while IFS=$'\t' read -r name group source; do
  raw="$work/$name.raw"
  wav="$work/$name.wav"
  methods=("${aubio_methods[@]}")
  case "$source" in
    fluid:*)
      [ "$fluid" = 1 ] || continue
      "$tool" midi "$name" > "$work/$name.mid"
      fluidsynth -ni -q -r 22050 -T wav -O s16 -F "$work/$name-stereo.wav" "$soundfont" \
        "$work/$name.mid" > /dev/null
      sox "$work/$name-stereo.wav" -c 1 "$wav"
      sox "$wav" -t s16 "$raw"
      # aubio's yin also with a long frame, as a tuner for low strings might run it.
      [ ${#methods[@]} = 0 ] || methods+=(yin4096) ;;
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
  for method in "${methods[@]}"; do
    options=(-p "$method")
    [ "$method" = yin4096 ] && options=(-p yin -B 4096 -H 512)
    aubiopitch -i "$wav" "${options[@]}" 2> /dev/null | "$tool" score "$name" "aubio-$method" >> "$results"
  done
done < <("$tool" list)

"$tool" table < "$results"
