#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The instructions a live run executes, counted by callgrind: a figure that does not drift
# with the machine's load as the CPU time of bench/live_cpu.sh does (on a shared VM that
# moves by a third within an hour), so that a change of a few percent shows. A private
# PulseAudio plays a generated tone with harmonics over noise into its null output; the
# program records the output's monitor, in a window (Xvfb; scale 3 on its 1280 x 1024 screen) or headless, and after a
# warm-up callgrind counts SECONDS of it. Kernel time (system calls, context switches) is not
# counted; bench/live_cpu.sh measures that.
#   bench/live_instructions.sh [PATH_TO_QUILLO_SA] [SECONDS] [STATE] [-- PROGRAM_OPTION...]
#                                       (defaults: build/program/quillo-sa, 20, spectrogram)
# STATE: spectrogram or spectrum (the window's view), headless, or x-spectrogram and
#   x-spectrum: the window's X server counted instead of the program (it scales and moves
#   the picture on the processor, as Xvfb and other servers without a graphics card do).
# Prints the instructions a second and a block (22050 Hz, 1024 samples: 21.5 blocks a
# second), the program's blocks and drops over the whole run (--stats; callgrind's slow
# start-up may cost a few blocks, the span counted should cost none), then the functions
# that took the most, from callgrind_annotate.
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/program/quillo-sa}"
seconds="${2:-20}"
state="${3:-spectrogram}"
shift $(($# < 3 ? $# : 3))
extra=()
if [ $# -gt 0 ]; then
  [ "$1" = -- ] || { echo "live_instructions.sh: program options come after --" >&2; exit 2; }
  extra=("${@:2}")
fi
[ -x "$program" ] || { echo "live_instructions.sh: no program at $program" >&2; exit 2; }
program="$(realpath "$program")"
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] && [ "$seconds" -le 45 ] ||
  { echo "live_instructions.sh: SECONDS must be 1 to 45 (the recording lasts 60 s)" >&2; exit 2; }
view_options=()
case "$state" in
  spectrogram | x-spectrogram | headless) ;;
  spectrum | x-spectrum) view_options=(--command 40060@0) ;;
  *) echo "live_instructions.sh: the state is spectrogram, spectrum, headless, x-spectrogram" \
       "or x-spectrum" >&2; exit 2 ;;
esac
for tool in valgrind callgrind_control callgrind_annotate Xvfb sox pulseaudio paplay; do
  command -v "$tool" > /dev/null ||
    { echo "live_instructions.sh: $tool is missing (valgrind, xvfb, sox, pulseaudio-utils)" >&2; exit 2; }
done
source bench/bench_lib.sh
source scripts/pulse-server.sh

work="$(mktemp -d)"
ids=()
stop() {
  stop_ids "${ids[@]}"
  stop_pulse_server
  rm -rf "$work"
}
trap stop EXIT

( start_pulse_server "$work/pulse" ) > /dev/null || exit 1
pulse_server_pid="$(cat "$work/pulse/pulse/pid")"
export PULSE_SERVER="unix:$work/pulse/pulse/native"
sox -n -r 22050 -c 1 -b 16 "$work/live.wav" synth 60 sine 330 sine 660 sine 990 whitenoise \
  remix 1v0.3,2v0.15,3v0.08,4v0.02
paplay --device=quillo_out "$work/live.wav" 2> /dev/null &
ids+=($!)
private_program_folders "$work"
mkdir -p "$work/tmp"
# callgrind_control finds its processes through their temporary folder.
export TMPDIR="$work/tmp"
counted=(valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$work/callgrind.out")

program_command=("$program" --device quillo_out.monitor --stats "${view_options[@]}" "${extra[@]}")
if [ "$state" = headless ]; then
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    "${counted[@]}" "${program_command[@]}" --headless > "$work/program.log" 2>&1 &
  program_pid=$! counted_pid=$!
else
  x_counted=() program_counted=("${counted[@]}")
  if [[ "$state" == x-* ]]; then x_counted=("${counted[@]}") program_counted=(); fi
  for n in $(seq $((300 + $$ % 200)) $((360 + $$ % 200))); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    "${x_counted[@]}" Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 &
    x_pid=$!
    for _ in $(seq 200); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill "$x_pid" 2> /dev/null || true
    x_pid=""
  done
  [ -n "${x_pid:-}" ] || { echo "live_instructions.sh: no X server could be started" >&2; exit 1; }
  ids+=("$x_pid")
  env -u WAYLAND_DISPLAY DISPLAY=":$n" QT_QPA_PLATFORM=xcb HOME="$work" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    "${program_counted[@]}" "${program_command[@]}" > "$work/program.log" 2>&1 &
  program_pid=$!
  counted_pid="$program_pid"
  [[ "$state" == x-* ]] && counted_pid="$x_pid"
fi
ids=("$program_pid" "${ids[@]}")

sleep 8  # start-up, the first blocks and the layout settle
callgrind_control -i on "$counted_pid" > /dev/null 2>&1
sleep "$seconds"
callgrind_control -i off "$counted_pid" > /dev/null 2>&1
callgrind_control -d "$counted_pid" > /dev/null 2>&1
kill "$program_pid" 2> /dev/null || true
for _ in $(seq 100); do kill -0 "$program_pid" 2> /dev/null || break; sleep 0.1; done

dump="$(ls "$work"/callgrind.out.* 2> /dev/null | head -n 1)"
[ -n "$dump" ] || { echo "live_instructions.sh: callgrind wrote nothing: $(cat "$work/program.log")" >&2; exit 1; }
total="$(callgrind_annotate "$dump" | sed -n 's/^ *\([0-9,]*\) .*PROGRAM TOTALS.*/\1/p' | tr -d ,)"
who="the program"
[[ "$state" == x-* ]] && who="its X server"
awk -v total="$total" -v seconds="$seconds" -v state="$state" -v who="$who" 'BEGIN {
  printf "%s, %s: %.1f M instructions a second, %.0f k a block\n", state, who,
         total / seconds / 1e6, total / seconds / (22050 / 1024) / 1e3 }'
sed -n 's/^quillo-sa: /  /p' "$work/program.log" | grep "blocks processed" || true
callgrind_annotate "$dump" | sed -n '/file:function/,$p' | sed -n '3,22p' |
  sed 's/ \[\/[^]]*\]$//' | cut -c1-120
