#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The full view's memory over a long live run: the window (Xvfb, --view full, the
# spectrogram) records from a private PulseAudio (scripts/pulse-server.sh) into whose null
# output a generated recording (a tone with harmonics gliding 220 .. 880 Hz over noise) is
# played again and again; every SOAK_INTERVAL seconds (60) the window's resident memory
# (VmRSS of /proc/PID/status) is printed as one row "minute rss_kB", MINUTES samples in all
# (a shorter SOAK_INTERVAL makes a shorter run). At the end it prints the growth from sample
# SOAK_WARMUP (2) to the last, and fails when that exceeds SOAK_GROWTH_KB (4096) or the
# window ended early. With --switch every sample also switches the picture away and back
# (F twice), as a user does now and then.
#   bench/full_view_soak.sh [MINUTES] [PATH_TO_QUILLO_SA] [--switch]
#                                  (defaults: 60, build/program/quillo-sa)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
minutes="${1:-60}"
program="${2:-build/program/quillo-sa}"
switching=0
[ "${3:-}" = --switch ] && switching=1
interval="${SOAK_INTERVAL:-60}"
warmup="${SOAK_WARMUP:-2}"
growth_limit_kb="${SOAK_GROWTH_KB:-4096}"
[[ "$minutes" =~ ^[1-9][0-9]*$ ]] || { echo "usage: bench/full_view_soak.sh [MINUTES] [PROGRAM] [--switch]" >&2; exit 2; }
[ -x "$program" ] || { echo "full_view_soak.sh: no program at $program" >&2; exit 2; }
for tool in Xvfb xdotool sox pulseaudio paplay; do
  command -v "$tool" > /dev/null || { echo "full_view_soak.sh: $tool is missing" >&2; exit 2; }
done
source scripts/pulse-server.sh

work="$(mktemp -d)"
xvfb_pid="" program_pid="" player_pid=""
stop() {
  stop_ids $program_pid $player_pid $xvfb_pid
  stop_pulse_server
  rm -rf "$work"
}
trap stop EXIT

start_xvfb $((300 + $$ % 200)) "$work/xvfb.log" || { echo "$(basename "$0"): no X server could be started" >&2; exit 1; }
display="$xvfb_display"

( start_pulse_server "$work/pulse" ) || exit 1
pulse_server_pid="$(cat "$work/pulse/pulse/pid")"
export PULSE_SERVER="unix:$work/pulse/pulse/native"
sox -R -n -r 48000 -c 1 -b 16 "$work/live.wav" synth 60 sine 220/880 sine 440/1760 \
  sine 660/2640 whitenoise remix 1v0.3,2v0.15,3v0.08,4v0.02
# The player is a loop of its own, ended by its id with the rest.
( while :; do paplay --device=quillo_out "$work/live.wav" 2> /dev/null || sleep 1; done ) &
player_pid=$!

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work" HOME="$work" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
  "$program" --device quillo_out.monitor --view full > "$work/program.log" 2>&1 &
program_pid=$!
window="$(DISPLAY="$display" timeout 20 xdotool search --sync --onlyvisible --name '^Quillo-SA' | head -n 1)" ||
  { echo "full_view_soak.sh: the window did not open: $(cat "$work/program.log")" >&2; exit 1; }
sleep 2
echo "full view soak: $minutes samples $interval s apart, $program, window $(DISPLAY="$display" xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p'), switching $switching"

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status" 2> /dev/null; }
first="" last=""
echo "minute rss_kB"
for ((m = 0; m <= minutes; m++)); do
  [ "$m" -eq 0 ] || sleep "$interval"
  kill -0 "$program_pid" 2> /dev/null ||
    { echo "full_view_soak.sh: the window ended at minute $m: $(tail -n 3 "$work/program.log")" >&2; exit 1; }
  if [ "$switching" -eq 1 ] && [ "$m" -gt 0 ]; then
    DISPLAY="$display" xdotool windowfocus --sync "$window" key f sleep 1 key f
  fi
  value="$(rss)"
  awk -v m="$m" -v s="$interval" -v v="$value" 'BEGIN { printf "%g %s\n", m * s / 60, v }'
  [ "$m" -ge "$warmup" ] && [ -z "$first" ] && first="$value"
  last="$value"
done
[ -n "$first" ] || first="$last"
growth=$((last - first))
echo "growth from sample $warmup to $minutes: $growth kB (limit $growth_limit_kb kB)"
grep -v '^$' "$work/program.log" | head -n 5 || true
[ "$growth" -le "$growth_limit_kb" ] || { echo "full_view_soak.sh: memory grew by $growth kB" >&2; exit 1; }
echo "full_view_soak.sh: passed"
