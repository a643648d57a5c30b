#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Live capture under load: the program records a private PulseAudio server's null output
# (scripts/pulse-server.sh), into which a generated gliding tone is played, while stress-ng
# keeps both cores busy at the same niceness. After MINUTES of blocks the run quits itself
# (--command 1@N), and --stats tells what happened. Fails unless it processed every block
# with 0 dropped by the catch-up and 0 capture queue overflows.
#   bench/live_load.sh [MINUTES] [VIEW]   default 10 and handheld; the program is
#                                          $QUILLO_BUILD/program/quillo-sa
# VIEW: handheld (headless, 22050 Hz), full (headless, the full view at 48000 Hz) or
#   full-window (the full view drawing its spectrogram in a 1920 x 1080 window on Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
source scripts/pulse-server.sh
install_optional stress-ng

minutes="${1:-10}"
view="${2:-handheld}"
case "$minutes" in '' | *[!0-9]* | 0) echo "usage: bench/live_load.sh [MINUTES] [VIEW]" >&2; exit 2 ;; esac
rate=22050 run=(--headless)
case "$view" in
  handheld) ;;
  full) rate=48000 run=(--headless --view full) ;;
  full-window) rate=48000 run=(--view full) ;;
  *) echo "live_load: VIEW is handheld, full or full-window" >&2; exit 2 ;;
esac
build="${QUILLO_BUILD:-build}"
program="$(realpath "$build/program/quillo-sa")"
[ -x "$program" ] || { echo "live_load: $program is missing; build it first" >&2; exit 2; }

work="$(realpath -m "$build/live-load")"
mkdir -p "$work"
audio="$work/tone-$((minutes + 1))min.wav"
make_moving_tone $(((minutes + 1) * 60)) "$audio"  # a minute more than the run hears
blocks=$((minutes * 60 * rate / 1024))

player_pid="" load_pid="" program_pid="" xvfb_pid="" sizer_pid=""
cleanup() {
  local pid
  for pid in $program_pid $load_pid $player_pid $sizer_pid $xvfb_pid; do kill "$pid" 2> /dev/null || true; done
  for pid in $program_pid $load_pid $player_pid $sizer_pid $xvfb_pid; do wait "$pid" 2> /dev/null || true; done
  stop_pulse_server
}
trap cleanup EXIT

private_program_folders "$work"
if [ "$view" = full-window ]; then
  # A display number with neither socket nor lock file.
  for n in $(seq $((500 + $$ % 200)) $((560 + $$ % 200))); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export DISPLAY=":$n" QT_QPA_PLATFORM=xcb
  # The window at 1920 x 1080 once it shows (no window manager: it takes the size at once).
  ( window="$(timeout 60 xdotool search --sync --onlyvisible --name '^Quillo-SA' | head -n 1)" &&
    xdotool windowmove "$window" 0 0 windowsize "$window" 1920 1080 ) > /dev/null 2>&1 &
  sizer_pid=$!
fi
start_pulse_server "$work/pulse"  # after: its runtime folder is where the clients find it
paplay --device=quillo_out "$audio" &
player_pid=$!
stress-ng --cpu "$(nproc)" --timeout "$((minutes * 60 + 30))s" --quiet &
load_pid=$!

echo "live_load: ${minutes} min ($blocks blocks, $view) from quillo_out.monitor under stress-ng --cpu $(nproc)"
timeout $((minutes * 60 + 60)) "$program" "${run[@]}" --device quillo_out.monitor --stats \
  --command "1@$blocks" > "$work/stdout.txt" 2> "$work/stderr.txt" &
program_pid=$!
code=0
wait "$program_pid" || code=$?
program_pid=""

read -r processed dropped overflows <<< "$(stats_of "$work/stderr.txt" || true)"
echo "live_load: exit $code; ${processed:-?} blocks processed, ${dropped:-?} dropped by" \
  "catch-up, ${overflows:-?} capture queue overflows"
[ "$code" = 0 ] && [ "${processed:-}" = "$blocks" ] && [ "${dropped:-}" = 0 ] &&
  [ "${overflows:-}" = 0 ] || { cat "$work/stderr.txt" >&2; exit 1; }
echo "live_load: ok"
