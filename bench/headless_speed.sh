#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Headless speed, like for like, on one generated 10-minute file (22050 Hz mono 16-bit, a
# gliding tone over noise): the pitch-log runs with either estimator against aubiopitch at
# one estimate per 1024 samples (its default method, yinfft, over 1024 samples, and yinfft
# over 2048), and the snapshot run against sox's spectrogram, all six commands taking turns
# in each round (the first of a round moves along), timed by /usr/bin/time. Prints the
# medians of wall and CPU (user + system) time and the ratios of the medians; fails when a
# wall-time target is missed: the classic pitch log at most 0.5 x aubiopitch -B 1024, the
# accurate one at most 1.5 x that and at most 1.0 x aubiopitch -p yinfft -B 2048, the
# snapshot run at most 1.5 x sox.
#   bench/headless_speed.sh [ROUNDS]   default 5; the program is $QUILLO_BUILD/program/quillo-sa
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
install_optional time aubio-tools

rounds="${1:-5}"
case "$rounds" in '' | *[!0-9]* | 0) echo "usage: bench/headless_speed.sh [ROUNDS]" >&2; exit 2 ;; esac
build="${QUILLO_BUILD:-build}"
program="$build/program/quillo-sa"
[ -x "$program" ] || { echo "headless_speed: $program is missing; build it first" >&2; exit 2; }

work="$build/compare"
mkdir -p "$work"
private_program_folders "$work"
audio="$work/tone-10min.wav"
make_moving_tone 600 "$audio"

runs=(classic accurate aubio-1024 aubio-2048 snapshot sox)
command_of() {
  case "$1" in
    classic | accurate)
      cmd=("$program" --headless --input "$audio" --pitch "$1" --pitch-log "$work/pitch-$1.csv") ;;
    aubio-1024) cmd=(aubiopitch -i "$audio" -B 1024 -H 1024) ;;
    aubio-2048) cmd=(aubiopitch -i "$audio" -p yinfft -B 2048 -H 1024) ;;
    snapshot) cmd=("$program" --headless --input "$audio" --pitch-log "$work/pitch-s.csv"
                   --snapshot "$work/snapshot.png") ;;
    sox) cmd=(sox "$audio" -n spectrogram -o "$work/spectrogram.png") ;;
  esac
}

declare -A walls cpus
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 0; r < rounds; r++)); do
  for ((i = 0; i < ${#runs[@]}; i++)); do
    run="${runs[$(((r + i) % ${#runs[@]}))]}"
    command_of "$run"
    /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "${cmd[@]}" \
      > "$work/$run.out" 2> "$work/$run.err" || {
      cat "$work/$run.err" >&2
      echo "headless_speed: $run failed" >&2
      exit 1
    }
    read -r wall user sys < "$work/time.txt"
    walls[$run]+="$wall "
    cpus[$run]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') "
  done
done
load_after="$(cut -d' ' -f1-3 /proc/loadavg)"

median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "10 min of 22050 Hz audio, $rounds rounds, medians (seconds); $(nproc) cores,"
echo "load average $load_before before, $load_after after"
printf '%-10s %8s %8s  %s\n' run wall CPU "each round's wall"
for run in "${runs[@]}"; do
  printf '%-10s %8s %8s  %s\n' "$run" "$(median <<< "${walls[$run]}")" \
    "$(median <<< "${cpus[$run]}")" "${walls[$run]}"
done
missed=0
check() {  # NAME PEER LIMIT
  local w p c q
  w="$(median <<< "${walls[$1]}")" p="$(median <<< "${walls[$2]}")"
  c="$(median <<< "${cpus[$1]}")" q="$(median <<< "${cpus[$2]}")"
  printf '%-10s / %-10s wall %5s, CPU %5s (target: at most %s)\n' "$1" "$2" "$(ratio "$w" "$p")" \
    "$(ratio "$c" "$q")" "$3"
  awk -v a="$w" -v b="$p" -v l="$3" 'BEGIN { exit !(a > b * l) }' && missed=1
  return 0
}
check classic aubio-1024 0.5
check accurate aubio-1024 1.5
check accurate aubio-2048 1
check snapshot sox 1.5
[ "$missed" -eq 0 ] || { echo "headless_speed: a target is missed" >&2; exit 1; }
echo "headless_speed: every target met"
