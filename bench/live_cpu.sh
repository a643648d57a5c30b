#!/usr/bin/env bash
# The program's own CPU use while it runs live in a window: Xvfb, the picture at scale 3, a
# generated 60 s recording at 22050 Hz. Prints the percent of one core that the program took
# over the measured span (its utime + stime from /proc).
#   bench/live_cpu.sh [PATH_TO_QUILLO_SA] [SECONDS] [file|pulse] [-- PROGRAM_OPTION...]
#                                           (defaults: build/program/quillo-sa, 30, file)
# file: the recording paced in real time (--input).
# pulse: the microphone path: a private PulseAudio (scripts/pulse-server.sh), the recording
#   played into its null output, the program recording the output's monitor. Over the same
#   span it measures a headless run of the program and `parec` on the same server; then,
#   when it is built, bench/pulse_capture_bench.cpp (recording alone) with `parec` beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/program/quillo-sa}"
seconds="${2:-30}"
mode="${3:-file}"
extra=()  # options for the program, after "--" (for instance --pitch accurate)
if [ $# -gt 3 ]; then
  [ "$4" = -- ] || { echo "live_cpu.sh: program options come after --" >&2; exit 2; }
  extra=("${@:5}")
fi
warmup=3
[ -x "$program" ] || { echo "live_cpu.sh: no program at $program" >&2; exit 2; }
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] && [ "$seconds" -le 50 ] ||
  { echo "live_cpu.sh: SECONDS must be 1 to 50 (the recording lasts 60 s)" >&2; exit 2; }
[[ "$mode" =~ ^(file|pulse)$ ]] || { echo "live_cpu.sh: the mode is file or pulse" >&2; exit 2; }
tools=(Xvfb xdotool sox)
[ "$mode" = pulse ] && tools+=(pulseaudio paplay parec)
for tool in "${tools[@]}"; do
  command -v "$tool" > /dev/null || { echo "live_cpu.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
source scripts/pulse-server.sh

work="$(mktemp -d)"
xvfb_pid=""
program_pid=""
others=()  # the headless run, parec, the player
stop() {
  # By id only: this run's programs, then its servers.
  for pid in $program_pid "${others[@]}" $xvfb_pid; do
    kill "$pid" 2> /dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2> /dev/null || true
  done
  stop_pulse_server
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

program_input=(--input "$work/live.wav")
if [ "$mode" = pulse ]; then
  ( start_pulse_server "$work/pulse" ) || exit 1
  pulse_server_pid="$(cat "$work/pulse/pulse/pid")"
  export PULSE_SERVER="unix:$work/pulse/pulse/native"
  paplay --device=quillo_out "$work/live.wav" 2> /dev/null &
  others+=($!)
  program_input=(--device quillo_out.monitor)
fi

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
# No session bus: nothing of the desktop's accessibility traffic is measured.
run_program() {
  exec env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work" HOME="$work" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" "$program" "${program_input[@]}" "${extra[@]}" "$@"
}
run_program > "$work/program.log" 2>&1 &
program_pid=$!
if [ "$mode" = pulse ]; then
  run_program --headless > "$work/headless.log" 2>&1 &
  headless_pid=$!
  parec --device=quillo_out.monitor --rate=22050 --channels=1 --latency-msec=46 > /dev/null &
  parec_pid=$!
  others+=("$headless_pid" "$parec_pid")
fi

window="$(DISPLAY="$display" timeout 20 xdotool search --sync --onlyvisible --name '^Quillo-SA' | head -n 1)" ||
  { echo "live_cpu.sh: the window did not open: $(cat "$work/program.log")" >&2; exit 1; }
geometry="$(DISPLAY="$display" xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')"

ticks() {  # utime + stime of process $1, in clock ticks (fields 14 and 15 after the name)
  local stat
  stat="$(cat "/proc/$1/stat")" || { echo "live_cpu.sh: process $1 ended" >&2; exit 1; }
  stat="${stat##*) }"
  read -r -a fields <<< "$stat"
  echo $((fields[11] + fields[12]))
}
now_ns() { date +%s%N; }
hz="$(getconf CLK_TCK)"
# share WHAT TICKS NANOSECONDS: prints WHAT's CPU over the span.
share() {
  awk -v what="$1" -v c="$2" -v hz="$hz" -v ns="$3" 'BEGIN {
    printf "%s; CPU over %.1f s: %.2f s = %.2f %% of one core\n", what, ns / 1e9, c / hz,
           100 * (c / hz) / (ns / 1e9)
  }'
}

sleep "$warmup"
measured=("$program_pid")
[ "$mode" = pulse ] && measured+=("$headless_pid" "$parec_pid")
t0="$(now_ns)"; c0=(); for pid in "${measured[@]}"; do c0+=("$(ticks "$pid")"); done
sleep "$seconds"
t1="$(now_ns)"; c1=(); for pid in "${measured[@]}"; do c1+=("$(ticks "$pid")"); done
share "window $geometry ($mode)" $((c1[0] - c0[0])) $((t1 - t0))
[ "$mode" = pulse ] || exit 0
share "headless, same server" $((c1[1] - c0[1])) $((t1 - t0))
share "parec, same server" $((c1[2] - c0[2])) $((t1 - t0))
grep -H "blocks processed\|Sound input" "$work/program.log" "$work/headless.log" || true

# Recording alone, with parec beside it over the whole benchmark.
capture_bench="$(dirname "$program")/../bench/quillo_pulse_capture_bench"
[ -x "$capture_bench" ] || { echo "live_cpu.sh: no $capture_bench (build with -DQUILLO_BENCH=ON)"; exit 0; }
kill "$program_pid" "$headless_pid"
t0="$(now_ns)"; p0="$(ticks "$parec_pid")"
"$capture_bench" --benchmark_counters_tabular=true 2> /dev/null
t1="$(now_ns)"; p1="$(ticks "$parec_pid")"
share "parec, beside the benchmark" $((p1 - p0)) $((t1 - t0))
