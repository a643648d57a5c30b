#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The full view's cost live, beside the handheld picture and lingot: rounds of
# bench/live_cpu.sh on the microphone path (a private PulseAudio, a tone over noise played
# into its null output), taking turns: the full view at its defaults (48000 Hz, FFT 8192,
# the spectrogram) in a 1920 x 1080 window, then the handheld picture at scale 3; lingot runs
# beside each on a server and X server of its own. Each X server's share is printed apart
# from its program's, with the load average before and after.
#   bench/full_view_cpu.sh [PATH_TO_QUILLO_SA] [SECONDS] [ROUNDS] [FULL_STATE]
#     defaults: build/program/quillo-sa, 20, 3, full (or full-spectrum, full-paused,
#     full-minimised: see bench/live_cpu.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/program/quillo-sa}"
seconds="${2:-20}"
rounds="${3:-3}"
full_state="${4:-full}"
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "full_view_cpu.sh: ROUNDS must be a count" >&2; exit 2; }
for round in $(seq "$rounds"); do
  for state in "$full_state" spectrogram; do
    echo "== round $round: $state"
    LIVE_CPU_NO_CAPTURE_BENCH=1 bench/live_cpu.sh "$program" "$seconds" pulse "$state" |
      grep -E "load average|window |lingot, same|X server"
  done
done
