#!/usr/bin/env bash
# The program's own CPU use while it runs live in a window: Xvfb, the picture at scale 3, a
# generated 60 s recording at 22050 Hz paced in real time. Prints the percent of one core
# that the program took over the measured span (its utime + stime from /proc).
#   bench/live_cpu.sh [PATH_TO_QUILLO_SA] [SECONDS]     (defaults: build/program/quillo-sa, 30)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/program/quillo-sa}"
seconds="${2:-30}"
warmup=3
[ -x "$program" ] || { echo "live_cpu.sh: no program at $program" >&2; exit 2; }
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] && [ "$seconds" -le 50 ] ||
  { echo "live_cpu.sh: SECONDS must be 1 to 50 (the recording lasts 60 s)" >&2; exit 2; }
for tool in Xvfb xdotool sox; do
  command -v "$tool" > /dev/null || { echo "live_cpu.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

work="$(mktemp -d)"
xvfb_pid=""
program_pid=""
stop() {
  # By id only: this run's program, then its server.
  for pid in $program_pid $xvfb_pid; do
    kill "$pid" 2> /dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2> /dev/null || true
  done
  rm -rf "$work"
}
trap stop EXIT

# A display number with neither socket nor lock file; a server that ends lost a race for it.
display=""
for n in $(seq $((200 + $$ % 300)) $((240 + $$ % 300))); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb_pid" 2> /dev/null || break
    sleep 0.05
  done
  if kill -0 "$xvfb_pid" 2> /dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  xvfb_pid=""
done
[ -n "$display" ] || { echo "live_cpu.sh: no X server could be started" >&2; exit 1; }

# A tone with two harmonics over white noise: lines on a busy floor, as a microphone gives.
sox -n -r 22050 -c 1 -b 16 "$work/live.wav" synth 60 sine 330 sine 660 sine 990 whitenoise \
  remix 1v0.3,2v0.15,3v0.08,4v0.02

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
# No session bus: nothing of the desktop's accessibility traffic is measured.
env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work" HOME="$work" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
  "$program" --input "$work/live.wav" > "$work/program.log" 2>&1 &
program_pid=$!

window="$(DISPLAY="$display" timeout 20 xdotool search --sync --onlyvisible --name '^Quillo-SA' | head -n 1)" ||
  { echo "live_cpu.sh: the window did not open: $(cat "$work/program.log")" >&2; exit 1; }
geometry="$(DISPLAY="$display" xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')"

ticks() {  # utime + stime of the program, in clock ticks (fields 14 and 15 after the name)
  local stat
  stat="$(cat "/proc/$program_pid/stat")" || { echo "live_cpu.sh: the program ended" >&2; exit 1; }
  stat="${stat##*) }"
  read -r -a fields <<< "$stat"
  echo $((fields[11] + fields[12]))
}
now_ns() { date +%s%N; }

sleep "$warmup"
t0="$(now_ns)"; c0="$(ticks)"
sleep "$seconds"
t1="$(now_ns)"; c1="$(ticks)"
hz="$(getconf CLK_TCK)"
awk -v c="$((c1 - c0))" -v hz="$hz" -v ns="$((t1 - t0))" -v g="$geometry" 'BEGIN {
  printf "window %s; CPU over %.1f s: %.2f s = %.2f %% of one core\n", g, ns / 1e9, c / hz,
         100 * (c / hz) / (ns / 1e9)
}'
