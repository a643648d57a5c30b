#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run: generated audio (a gliding tone over noise, 22050 Hz mono 16-bit) through the
# headless program on one thread, as 1-, 10- and 60-minute files, each in its own run. For
# each it reports the blocks processed against the file's ceil(frames / 1024), the blocks
# dropped and the capture queue overflows (--stats), the pitch log's last time (the end of
# the last block, which capture fills out with silence) and the peak resident memory
# (/usr/bin/time -v). Fails when a count differs, something was dropped, or the peak grows
# by more than SOAK_GROWTH_KB (4096) from the shortest run to the longest.
#   bench/soak.sh [MINUTES...]   default 1 10 60; the program is $QUILLO_BUILD/program/quillo-sa
#                                (QUILLO_BUILD defaults to build, made by scripts/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
install_optional time

build="${QUILLO_BUILD:-build}"
program="$build/program/quillo-sa"
growth_limit_kb="${SOAK_GROWTH_KB:-4096}"
[ -x "$program" ] || { echo "soak: $program is missing; build it first (scripts/test.sh)" >&2; exit 2; }
[ $# -gt 0 ] || set -- 1 10 60
for m in "$@"; do
  case "$m" in '' | *[!0-9]* | 0) echo "usage: bench/soak.sh [MINUTES...]" >&2; exit 2 ;; esac
done

work="$build/soak"
mkdir -p "$work"
private_program_folders "$work"

failed=0
fail() { echo "soak: $*" >&2; failed=1; }

rows=()
peaks=()
for minutes in "$@"; do
  audio="$work/tone-${minutes}min.wav"
  make_moving_tone $((minutes * 60)) "$audio"
  frames="$(audio_frames "$audio")"
  expected="$(blocks_of "$audio")"
  log="$work/pitch-${minutes}min.csv"
  code=0
  /usr/bin/time -v -o "$work/time-${minutes}min.txt" \
    "$program" --headless --input "$audio" --pitch-log "$log" --stats \
    > /dev/null 2> "$work/stderr-${minutes}min.txt" || code=$?
  [ "$code" -eq 0 ] || fail "${minutes} min: the program exited with $code"
  stats="$(stats_of "$work/stderr-${minutes}min.txt")"
  read -r processed dropped overflows <<< "${stats:-- - -}"
  peak="$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$work/time-${minutes}min.txt")"
  wall="$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): *//p' "$work/time-${minutes}min.txt")"
  last="$(tail -n 1 "$log" | cut -d, -f1)"
  length="$(awk -v f="$frames" 'BEGIN { printf "%.3f", f / 22050 }')"
  # The last block counts whole: the log's clock ends at blocks x 1024 samples.
  log_end="$(awk -v b="$expected" 'BEGIN { printf "%.3f", b * 1024 / 22050 }')"
  [ "$processed" = "$expected" ] || fail "${minutes} min: $processed blocks processed, the file has $expected"
  [ "$dropped" = 0 ] || fail "${minutes} min: $dropped blocks dropped by catch-up"
  [ "$overflows" = 0 ] || fail "${minutes} min: $overflows capture queue overflows"
  [ "$last" = "$log_end" ] || fail "${minutes} min: the pitch log ends at $last s, not $log_end s"
  rows+=("$(printf '%7s %9s %9s %7s %9s %10s %10s %13s %9s' "$minutes min" "$expected" \
    "$processed" "$dropped" "$overflows" "$length" "$last" "${peak:--}" "$wall")")
  peaks+=("${peak:-0}")
done

echo
printf '%7s %9s %9s %7s %9s %10s %10s %13s %9s\n' audio "file blk" processed dropped overflows \
  "length s" "log end s" "peak RSS kB" wall
printf '%s\n' "${rows[@]}"
growth=$((peaks[${#peaks[@]} - 1] - peaks[0]))
echo "peak RSS growth from $1 to ${!#} min: $growth kB (limit $growth_limit_kb kB)"
[ "$growth" -le "$growth_limit_kb" ] || fail "peak memory grew by $growth kB"
[ "$failed" -eq 0 ] || exit 1
echo "soak: passed"
