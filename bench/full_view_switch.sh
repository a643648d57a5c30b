#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The first full frame after a switch to the full view, measured from outside the program:
# Xvfb, the window at 1280 x 800 on the handheld picture, playing a generated 48000 Hz
# recording (a tone with harmonics over noise) paced in real time. A probe
# (bench/full_view_switch_probe.c, built here with the C compiler and libX11/libXtst) presses
# F through XTest and reads the screen every millisecond until the full view's frequency
# labels appear (its first paint) and until its spectrogram's newest columns are drawn; then
# F again, back to the handheld picture, and the next round. The time includes the input's
# reopening at the full view's rate, which a switch makes. Prints each round and the median
# and worst; fails when the worst first paint is over SWITCH_LIMIT_MS (300).
#   bench/full_view_switch.sh [PATH_TO_QUILLO_SA] [ROUNDS] [-- PROGRAM_OPTION...]
#                                  (defaults: build/program/quillo-sa, 10)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
program="${1:-build/program/quillo-sa}"
rounds="${2:-10}"
shift $(($# < 2 ? $# : 2))
extra=()
if [ $# -gt 0 ]; then
  [ "$1" = -- ] || { echo "full_view_switch.sh: program options come after --" >&2; exit 2; }
  extra=("${@:2}")
fi
limit_ms="${SWITCH_LIMIT_MS:-300}"
[ -x "$program" ] || { echo "full_view_switch.sh: no program at $program" >&2; exit 2; }
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "full_view_switch.sh: ROUNDS must be a number" >&2; exit 2; }
for tool in Xvfb xdotool sox cc; do
  command -v "$tool" > /dev/null || { echo "full_view_switch.sh: $tool is missing" >&2; exit 2; }
done
xtst="$(ls /usr/lib/*/libXtst.so.6 2> /dev/null | head -n 1)"
[ -n "$xtst" ] || { echo "full_view_switch.sh: libXtst is missing (apt-get install libxtst6)" >&2; exit 2; }

work="$(mktemp -d)"
xvfb_pid="" program_pid=""
stop() {
  stop_ids $program_pid $xvfb_pid
  rm -rf "$work"
}
trap stop EXIT

cc -O2 -o "$work/probe" bench/full_view_switch_probe.c -lX11 "$xtst"
start_xvfb $((400 + $$ % 200)) "$work/xvfb.log" || { echo "$(basename "$0"): no X server could be started" >&2; exit 1; }
display="$xvfb_display"
export DISPLAY="$display"

sox -R -n -r 48000 -c 1 -b 16 "$work/tone.wav" synth 600 sine 330 sine 660 sine 990 whitenoise \
  remix 1v0.3,2v0.15,3v0.08,4v0.02
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work" HOME="$work" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
  "$program" --view handheld --input "$work/tone.wav" "${extra[@]}" > "$work/program.log" 2>&1 &
program_pid=$!
window="$(timeout 20 xdotool search --sync --onlyvisible --name '^Quillo-SA' | head -n 1)" ||
  { echo "full_view_switch.sh: the window did not open: $(cat "$work/program.log")" >&2; exit 1; }
xdotool windowsize --sync "$window" 1280 800
xdotool windowfocus --sync "$window"
sleep 1
# At 1280 x 800 the handheld picture (scale 2, centred) leaves x < 400 and x > 880 black; the
# full view's frequency labels lie left of x 90 and its plot ends near x 1200.
"$work/probe" 0 150 90 500 1120 150 60 500 "$rounds" | tee "$work/rounds.txt"
kill -0 "$program_pid" 2> /dev/null || { echo "full_view_switch.sh: the program ended: $(cat "$work/program.log")" >&2; exit 1; }
awk -v limit="$limit_ms" '
  { paint[NR] = $2; column[NR] = $3 }
  function median(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END {
    n = NR; worst = 0; worstColumn = 0; failed = 0
    for (i = 1; i <= n; i++) {
      if (paint[i] < 0) failed = 1
      if (paint[i] > worst) worst = paint[i]
      if (column[i] > worstColumn) worstColumn = column[i]
    }
    printf "first paint of the full view: median %.1f ms, worst %.1f ms (limit %d ms)\n", median(paint, n), worst, limit
    printf "spectrogram columns drawn: median %.1f ms, worst %.1f ms\n", median(column, n), worstColumn
    exit (failed || worst > limit) ? 1 : 0
  }' "$work/rounds.txt"
