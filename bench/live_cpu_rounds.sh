#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Rounds of bench/live_cpu.sh on the microphone path, for figures that one round cannot give:
# on a shared VM one round's CPU figures move by a tenth to a third with the machine, `parec`
# beside the program as much as the program. Each round measures every STATE in turn (the
# window, with the headless run and `parec` beside it); lingot and the capture benchmark are
# left out. Prints, per state and measured program, the range and the median of the rounds'
# CPU percent of one core and wake-ups a second, and of the ratios to `parec` in the same
# round, which move less than either figure alone.
#   bench/live_cpu_rounds.sh [PATH_TO_QUILLO_SA] [SECONDS] [ROUNDS] [STATE...]
#                       (defaults: build/program/quillo-sa, 40, 5, spectrogram spectrum)
# STATE: as for bench/live_cpu.sh (spectrogram, spectrum, paused, minimised, full, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/program/quillo-sa}"
seconds="${2:-40}"
rounds="${3:-5}"
states=("${@:4}")
[ ${#states[@]} -gt 0 ] || states=(spectrogram spectrum)
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] ||
  { echo "live_cpu_rounds.sh: ROUNDS must be a positive whole number" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for round in $(seq "$rounds"); do
  for index in "${!states[@]}"; do
    state="${states[$index]}"
    echo "round $round of $rounds, $state, load $(cut -d' ' -f1 /proc/loadavg)" >&2
    LIVE_CPU_NO_LINGOT=1 LIVE_CPU_NO_CAPTURE_BENCH=1 \
      bench/live_cpu.sh "$program" "$seconds" pulse "$state" > "$work/round" 2>&1 ||
      { cat "$work/round" >&2; exit 1; }
    # A line per measured program: the state's and the program's places (to sort by), the
    # state, the program, its CPU percent and its wake-ups a second.
    awk -v at="$index" -v state="$state" '
      /^  (window|headless|parec|X server)/ && /% of one core/ {
        name = $1 == "X" ? "X server" : $1
        sub(/,$/, "", name)
        place = name == "window" ? 1 : name == "headless" ? 2 : name == "parec" ? 3 : 4
        for (i = 1; i <= NF; i++) {
          if ($i == "%") cpu = $(i - 1)
          if ($i == "wake-ups/s") wakes = $(i - 1)
        }
        print at "\t" place "\t" state "\t" name "\t" cpu "\t" wakes
      }' "$work/round" >> "$work/figures"
  done
done

# summarise FILE FIELD WHAT FORMAT: the range and the median of FIELD over the rounds, per
# state and program.
summarise() {
  sort -t$'\t' -k1,1n -k2,2n -k"$2","$2"g "$1" | awk -F'\t' -v field="$2" -v what="$3" -v format="$4" '
    function flush() {
      if (n == 0) return
      median = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
      printf "  %-12s %-17s %s " format " to " format ", median " format "\n", state, name, what,
             v[1], v[n], median
      n = 0
    }
    { if ($1 != key1 || $2 != key2) { flush(); key1 = $1; key2 = $2; state = $3; name = $4 }
      v[++n] = $field }
    BEGIN { key1 = key2 = -1 }
    END { flush() }'
}
echo "$program, $rounds rounds of $seconds s each, the microphone path:"
summarise "$work/figures" 5 "CPU % of one core" "%.3f"
summarise "$work/figures" 6 "wake-ups a second" "%.1f"
# Each round measures the window, the headless run and parec together.
awk -F'\t' '
  $4 == "window" { w = $5 } $4 == "headless" { h = $5 }
  $4 == "parec" && $5 > 0 {
    print $1 "\t1\t" $3 "\twindow / parec\t" w / $5
    print $1 "\t2\t" $3 "\theadless / parec\t" h / $5
  }' "$work/figures" > "$work/ratios"
summarise "$work/ratios" 5 "CPU ratio" "%.2f"
