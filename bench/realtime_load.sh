#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Real time under load: the program in a window (Xvfb on a free display) plays a generated
# file at its real pace while stress-ng keeps both cores busy at the same niceness; after the
# file's length and a few seconds more it gets SIGTERM, which closes the window as its close
# button does and ends the run with 143 (128 + the signal), and --stats tells what happened.
# Reports the blocks processed, the blocks the catch-up dropped and the capture queue
# overflows (0 is the target for both), and fails when either is not 0, when processed and
# dropped do not add up to the file's blocks, or when the exit code is another.
#   bench/realtime_load.sh [MINUTES]   default 10; the program is $QUILLO_BUILD/program/quillo-sa
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
install_optional stress-ng xvfb

minutes="${1:-10}"
case "$minutes" in '' | *[!0-9]* | 0) echo "usage: bench/realtime_load.sh [MINUTES]" >&2; exit 2 ;; esac
build="${QUILLO_BUILD:-build}"
program="$build/program/quillo-sa"
[ -x "$program" ] || { echo "realtime_load: $program is missing; build it first (scripts/test.sh)" >&2; exit 2; }
grace=5  # seconds after the file's end before SIGTERM

work="$build/realtime"
mkdir -p "$work"
private_program_folders "$work"
audio="$work/tone-${minutes}min.wav"
make_moving_tone $((minutes * 60)) "$audio"
expected="$(blocks_of "$audio")"

xvfb_pid="" load_pids=() program_pid=""
cleanup() {
  local pid
  for pid in $program_pid "${load_pids[@]}" $xvfb_pid; do
    kill "$pid" 2> /dev/null || true
  done
  for pid in $program_pid "${load_pids[@]}" $xvfb_pid; do
    wait "$pid" 2> /dev/null || true
  done
}
trap cleanup EXIT

# A display number nobody uses; when another starts on it first, our Xvfb ends, try the next.
display=""
for n in $(seq 90 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -S "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb_pid" 2> /dev/null || break
    sleep 0.1
  done
  if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2> /dev/null; then
    display=":$n"
    break
  fi
  kill "$xvfb_pid" 2> /dev/null || true
  wait "$xvfb_pid" 2> /dev/null || true
  xvfb_pid=""
done
[ -n "$display" ] || { echo "realtime_load: no free display for Xvfb" >&2; exit 2; }

# Two cores' worth of load at the program's niceness, ending on its own should we not.
cores="$(nproc)"
load_seconds=$((minutes * 60 + grace + 30))
if command -v stress-ng > /dev/null; then
  stress-ng --cpu "$cores" --timeout "${load_seconds}s" --quiet &
  load_pids+=($!)
  load_name="stress-ng --cpu $cores"
else
  for _ in $(seq "$cores"); do
    timeout "$load_seconds" bash -c 'while :; do :; done' &
    load_pids+=($!)
  done
  load_name="$cores busy loops"
fi
sleep 1  # the load is up before the audio starts

echo "realtime_load: ${minutes} min of audio on $display under $load_name (nice $(nice))"
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$program" --input "$audio" --stats \
  > "$work/stdout.txt" 2> "$work/stderr.txt" &
program_pid=$!
sleep $((minutes * 60 + grace))
if ! kill -0 "$program_pid" 2> /dev/null; then
  cat "$work/stderr.txt" >&2
  echo "realtime_load: the program ended before the file did" >&2
  program_pid=""
  exit 1
fi
ticks="$(getconf CLK_TCK)"
cpu="$(awk -v t="$ticks" '{ printf "%.1f", ($14 + $15) / t }' "/proc/$program_pid/stat")"
load_average="$(cut -d' ' -f1-3 /proc/loadavg)"
kill -TERM "$program_pid"
code=0
wait "$program_pid" || code=$?
program_pid=""

stats="$(stats_of "$work/stderr.txt")"
read -r processed dropped overflows <<< "${stats:-- - -}"
echo
printf '%-34s %s\n' "audio" "${minutes} min, $expected blocks of 1024" \
  "blocks processed" "$processed" \
  "dropped by catch-up" "$dropped" \
  "capture queue overflows" "$overflows" \
  "program CPU time" "${cpu} s in $((minutes * 60 + grace)) s" \
  "load average at the end" "$load_average" \
  "exit code after SIGTERM" "$code"
failed=0
# A run that a signal ended says so: 128 + 15 for SIGTERM (the README's exit codes).
[ "$code" -eq 143 ] || { echo "realtime_load: exit code $code, not 143" >&2; failed=1; }
[ "$dropped" = 0 ] && [ "$overflows" = 0 ] || { echo "realtime_load: blocks were lost" >&2; failed=1; }
[ "$processed" != - ] && [ $((processed + dropped)) -eq "$expected" ] || {
  echo "realtime_load: $processed processed and $dropped dropped of $expected blocks" >&2
  failed=1
}
[ "$failed" -eq 0 ] || exit 1
echo "realtime_load: passed"
