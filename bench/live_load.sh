#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Live capture under load: the program records a private PulseAudio server's null output
# (scripts/pulse-server.sh), into which a generated gliding tone is played, while stress-ng
# keeps both cores busy at the same niceness. After MINUTES of blocks the run quits itself
# (--command 1@N), and --stats tells what happened. Fails unless it processed every block
# with 0 dropped by the catch-up and 0 capture queue overflows.
#   bench/live_load.sh [MINUTES]   default 10; the program is $QUILLO_BUILD/program/quillo-sa
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
source scripts/pulse-server.sh
install_optional stress-ng

minutes="${1:-10}"
case "$minutes" in '' | *[!0-9]* | 0) echo "usage: bench/live_load.sh [MINUTES]" >&2; exit 2 ;; esac
build="${QUILLO_BUILD:-build}"
program="$(realpath "$build/program/quillo-sa")"
[ -x "$program" ] || { echo "live_load: $program is missing; build it first" >&2; exit 2; }

work="$(realpath -m "$build/live-load")"
mkdir -p "$work"
audio="$work/tone-$((minutes + 1))min.wav"
make_moving_tone $(((minutes + 1) * 60)) "$audio"  # a minute more than the run hears
blocks=$((minutes * 60 * 22050 / 1024))

player_pid="" load_pid="" program_pid=""
cleanup() {
  local pid
  for pid in $program_pid $load_pid $player_pid; do kill "$pid" 2> /dev/null || true; done
  for pid in $program_pid $load_pid $player_pid; do wait "$pid" 2> /dev/null || true; done
  stop_pulse_server
}
trap cleanup EXIT

private_program_folders "$work"
start_pulse_server "$work/pulse"  # after: its runtime folder is where the clients find it
paplay --device=quillo_out "$audio" &
player_pid=$!
stress-ng --cpu "$(nproc)" --timeout "$((minutes * 60 + 30))s" --quiet &
load_pid=$!

echo "live_load: ${minutes} min ($blocks blocks) from quillo_out.monitor under stress-ng --cpu $(nproc)"
timeout $((minutes * 60 + 60)) "$program" --headless --device quillo_out.monitor --stats \
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
