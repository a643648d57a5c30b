#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program's own cost while it runs live in a window: Xvfb, the picture at scale 3, a
# generated 60 s recording at 22050 Hz. Prints, over the measured span, the percent of one
# core each measured program took (utime + stime from /proc) and how often its threads woke
# (voluntary and involuntary context switches of every thread, /proc/PID/task/*/status; the
# involuntary ones grow with the machine's load, so both are shown).
#   bench/live_cpu.sh [PATH_TO_QUILLO_SA] [SECONDS] [file|pulse] [STATE] [-- PROGRAM_OPTION...]
#                                  (defaults: build/program/quillo-sa, 30, file, spectrogram)
# file: the recording paced in real time (--input).
# pulse: the microphone path: a private PulseAudio (scripts/pulse-server.sh), the recording
#   played into its null output, the program recording the output's monitor. Over the same
#   span it measures a headless run of the program and `parec` at the program's fragment size
#   (one 1024-sample buffer, 46 ms), both on a second such server, and, when it is installed,
#   lingot (the Debian tuner) on a third (in an X server of its own), and prints the ratios to
#   them. A server wakes every client of a source as often as the one that asks for the
#   shortest latency, and the window asks for long ones while it shows nothing. Then, when it
#   is built, bench/pulse_capture_bench.cpp (recording alone) with `parec` beside it, unless
#   LIVE_CPU_NO_CAPTURE_BENCH is set (for rounds run one after the other). LIVE_CPU_NO_LINGOT
#   leaves lingot out: its thousands of wake-ups a second preempt whatever else runs.
# STATE, of the window: spectrogram, spectrum, paused (the pause button from the first block
#   on) or minimised (iconified by twm, installed for it when missing) of the handheld
#   picture; full or full-spectrum: the full view at its defaults (48000 Hz, FFT 8192) in a
#   1920 x 1080 window on a 1920 x 1080 screen, spectrogram or spectrum; full-paused and
#   full-minimised as paused and minimised.
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/program/quillo-sa}"
seconds="${2:-30}"
mode="${3:-file}"
state=spectrogram
shift $(($# < 3 ? $# : 3))
if [ $# -gt 0 ] && [ "$1" != -- ]; then state="$1"; shift; fi
extra=()  # options for the program, after "--" (for instance --pitch accurate)
if [ $# -gt 0 ]; then
  [ "$1" = -- ] || { echo "live_cpu.sh: program options come after --" >&2; exit 2; }
  extra=("${@:2}")
fi
warmup=5
[ -x "$program" ] || { echo "live_cpu.sh: no program at $program" >&2; exit 2; }
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] && [ "$seconds" -le 50 ] ||
  { echo "live_cpu.sh: SECONDS must be 1 to 50 (the recording lasts 60 s)" >&2; exit 2; }
[[ "$mode" =~ ^(file|pulse)$ ]] || { echo "live_cpu.sh: the mode is file or pulse" >&2; exit 2; }
window_options=()
screen=1280x1024x24
if [[ "$state" == full* ]]; then
  window_options=(--view full)
  screen=1920x1080x24
fi
case "${state#full}" in
  spectrogram | "") ;;
  spectrum | -spectrum) window_options+=(--command 40060@0) ;;
  paused | -paused) window_options+=(--command 1203@1) ;;
  minimised | -minimised) source bench/bench_lib.sh; install_optional twm > /dev/null ;;
  *) echo "live_cpu.sh: the state is spectrogram, spectrum, paused, minimised, full," \
       "full-spectrum, full-paused or full-minimised" >&2; exit 2 ;;
esac
tools=(Xvfb xdotool sox)
[ "$mode" = pulse ] && tools+=(pulseaudio paplay parec)
[[ "$state" == *minimised ]] && tools+=(twm xprop)
for tool in "${tools[@]}"; do
  command -v "$tool" > /dev/null || { echo "live_cpu.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
source scripts/pulse-server.sh

work="$(mktemp -d)"
servers=()  # the X servers and twm
program_pid=""
others=()  # the headless run, parec, lingot, the player
stop() {
  # By id only: this run's programs, then its servers.
  for pid in $program_pid "${others[@]}" "${servers[@]}"; do
    kill "$pid" 2> /dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2> /dev/null || true
  done
  stop_pulse_server
  rm -rf "$work"
}
trap stop EXIT

# start_x NAME: an X server on a display number with neither socket nor lock file (a server
# that ends lost a race for it); sets x_display and x_pid.
start_x() {
  x_display="" x_pid=""
  local n
  for n in $(seq $((200 + $$ % 300)) $((260 + $$ % 300))); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -noreset > "$work/xvfb-$1.log" 2>&1 &
    x_pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$x_pid" 2> /dev/null || break
      sleep 0.05
    done
    if kill -0 "$x_pid" 2> /dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      x_display=":$n"
      servers+=("$x_pid")
      return 0
    fi
  done
  echo "live_cpu.sh: no X server could be started" >&2
  exit 1
}
start_x program
display="$x_display" xvfb_pid="$x_pid"

# A tone with two harmonics over white noise: lines on a busy floor, as a microphone gives.
sox -n -r 22050 -c 1 -b 16 "$work/live.wav" synth 60 sine 330 sine 660 sine 990 whitenoise \
  remix 1v0.3,2v0.15,3v0.08,4v0.02

program_input=(--input "$work/live.wav")
lingot_pid=""
if [ "$mode" = pulse ]; then
  ( start_pulse_server "$work/pulse" ) || exit 1
  pulse_server_pid="$(cat "$work/pulse/pulse/pid")"
  export PULSE_SERVER="unix:$work/pulse/pulse/native"
  paplay --device=quillo_out "$work/live.wav" 2> /dev/null &
  others+=($!)
  program_input=(--device quillo_out.monitor)
  # The headless run and parec, which both ask for 46 ms.
  ( start_pulse_server "$work/pulse-beside" ) || exit 1
  servers+=("$(cat "$work/pulse-beside/pulse/pid")")
  beside_server="unix:$work/pulse-beside/pulse/native"
  PULSE_SERVER="$beside_server" paplay --device=quillo_out "$work/live.wav" 2> /dev/null &
  others+=($!)
fi

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
# No session bus: nothing of the desktop's accessibility traffic is measured.
run_program() {
  exec env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work" HOME="$work" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" "$program" "${program_input[@]}" "${extra[@]}" "$@"
}
run_program "${window_options[@]}" > "$work/program.log" 2>&1 &
program_pid=$!
if [ "$mode" = pulse ]; then
  # On Qt's offscreen platform, as a headless run is: no X connection, no window on the display.
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work" HOME="$work" PULSE_SERVER="$beside_server" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    "$program" "${program_input[@]}" "${extra[@]}" --headless > "$work/headless.log" 2>&1 &
  headless_pid=$!
  PULSE_SERVER="$beside_server" parec --device=quillo_out.monitor --rate=22050 --channels=1 \
    --latency-msec=46 > /dev/null &
  parec_pid=$!
  others+=("$headless_pid" "$parec_pid")
  if command -v lingot > /dev/null && [ -z "${LIVE_CPU_NO_LINGOT:-}" ]; then
    # The same source on a server of its own, as lingot asks for a short latency.
    # Its own X server, so that each X server's share is one program's; its own home, so
    # that it starts on its defaults (PulseAudio, the default source: the monitor here).
    ( start_pulse_server "$work/pulse-lingot" ) || exit 1
    servers+=("$(cat "$work/pulse-lingot/pulse/pid")")
    lingot_server="unix:$work/pulse-lingot/pulse/native"
    PULSE_SERVER="$lingot_server" paplay --device=quillo_out "$work/live.wav" 2> /dev/null &
    others+=($!)
    start_x lingot
    mkdir -p "$work/lingot"
    env -u WAYLAND_DISPLAY DISPLAY="$x_display" HOME="$work/lingot" PULSE_SERVER="$lingot_server" \
      PULSE_SOURCE=quillo_out.monitor DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
      lingot > "$work/lingot.log" 2>&1 &
    lingot_pid=$!
    lingot_xvfb_pid="$x_pid"
    others+=("$lingot_pid")
  fi
fi

window="$(DISPLAY="$display" timeout 20 xdotool search --sync --onlyvisible --name '^Quillo-SA' | head -n 1)" ||
  { echo "live_cpu.sh: the window did not open: $(cat "$work/program.log")" >&2; exit 1; }
if [[ "$state" == full* ]]; then
  # No window manager: the window takes the size asked for at once.
  DISPLAY="$display" xdotool windowmove "$window" 0 0 windowsize "$window" 1920 1080
  sleep 1
fi
geometry="$(DISPLAY="$display" xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')"
if [[ "$state" == *minimised ]]; then
  # Started after the window is up and has started recording, twm takes it as it is (no
  # placement by hand). Xvfb has only its built-in fonts, and twm ends when it finds none of
  # those it asks for.
  sleep 2
  printf '%sFont "fixed"\n' Title Resize Menu Icon IconManager > "$work/twmrc"
  DISPLAY="$display" twm -f "$work/twmrc" > /dev/null 2>&1 &
  servers+=($!)
  sleep 1
  DISPLAY="$display" xdotool windowminimize "$window"
  for _ in $(seq 40); do
    DISPLAY="$display" xprop -id "$window" WM_STATE 2> /dev/null | grep -q Iconic && break
    sleep 0.05
  done
  DISPLAY="$display" xprop -id "$window" WM_STATE 2> /dev/null | grep -q Iconic ||
    { echo "live_cpu.sh: the window could not be minimised" >&2; exit 1; }
fi

# counts PID: "TICKS SWITCHES VOLUNTARY": utime + stime in clock ticks (fields 14 and 15
# after the name) and the context switches of all its threads (those that lived across the
# span count; a thread that starts and ends within it is missed).
counts() {
  local stat
  stat="$(cat "/proc/$1/stat")" || { echo "live_cpu.sh: process $1 ended" >&2; exit 1; }
  stat="${stat##*) }"
  read -r -a fields <<< "$stat"
  cat /proc/"$1"/task/*/status 2> /dev/null | awk -v t=$((fields[11] + fields[12])) '
    /^voluntary_ctxt_switches/ { v += $2 }
    /^nonvoluntary_ctxt_switches/ { n += $2 }
    END { print t, v + n, v }'
}
# threads PID: "TID NAME VOLUNTARY INVOLUNTARY" for every thread.
threads() {
  local task
  for task in /proc/"$1"/task/*; do
    awk -v tid="${task##*/}" '
      /^Name:/ { name = $2 }
      /^voluntary_ctxt_switches/ { v = $2 }
      /^nonvoluntary_ctxt_switches/ { n = $2 }
      END { print tid, name, v, n }' "$task/status" 2> /dev/null || true
  done
}
now_ns() { date +%s%N; }
hz="$(getconf CLK_TCK)"

sleep "$warmup"
# What is measured: a short name for the ratios, a long one, the process.
short=(window) names=("window $geometry ($mode, $state)") measured=("$program_pid")
if [ "$mode" = pulse ]; then
  short+=(headless parec)
  names+=("headless, a server beside" "parec, 46 ms fragments, beside it")
  measured+=("$headless_pid" "$parec_pid")
  if [ -n "$lingot_pid" ]; then
    short+=(lingot)
    names+=("lingot, same source")
    measured+=("$lingot_pid")
  fi
fi
short+=(X)
names+=("X server of the window")
measured+=("$xvfb_pid")
if [ -n "$lingot_pid" ]; then
  short+=("lingot's X")
  names+=("X server of lingot")
  measured+=("$lingot_xvfb_pid")
fi
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
before=() after=()
threads "$program_pid" > "$work/threads0"
[ "$mode" = pulse ] && threads "$headless_pid" > "$work/headless-threads0"
t0="$(now_ns)"
for pid in "${measured[@]}"; do before+=("$(counts "$pid")"); done
sleep "$seconds"
t1="$(now_ns)"
for pid in "${measured[@]}"; do after+=("$(counts "$pid")"); done
threads "$program_pid" > "$work/threads1"
[ "$mode" = pulse ] && threads "$headless_pid" > "$work/headless-threads1"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# rates I: "CPU% WAKES/S VOLUNTARY/S" of measured program I over the span.
rates() {
  local b a
  read -r -a b <<< "${before[$1]}"
  read -r -a a <<< "${after[$1]}"
  awk -v c=$((a[0] - b[0])) -v w=$((a[1] - b[1])) -v v=$((a[2] - b[2])) -v hz="$hz" \
    -v ns=$((t1 - t0)) 'BEGIN { s = ns / 1e9; printf "%.3f %.1f %.1f\n", 100 * c / hz / s, w / s, v / s }'
}
span="$(awk -v ns=$((t1 - t0)) 'BEGIN { printf "%.1f", ns / 1e9 }')"
echo "over $span s:"
all=()
for i in "${!measured[@]}"; do
  read -r -a r <<< "$(rates "$i")"
  all+=("${r[*]}")
  printf '  %-45s %7.3f %% of one core, %6.1f wake-ups/s (%5.1f voluntary)\n' \
    "${names[$i]}" "${r[0]}" "${r[1]}" "${r[2]}"
done
# Each thread of the program (and the headless run) that woke over the span.
per_thread() {
  awk -v s="$span" 'NR == FNR { v[$1] = $3; n[$1] = $4; next }
    ($1 in v) && $3 + $4 > v[$1] + n[$1] {
      printf "    %s %s: %.1f/s (%.1f voluntary)\n", $1, $2, ($3 + $4 - v[$1] - n[$1]) / s, ($3 - v[$1]) / s
    }' "$1" "$2"
}
echo "  threads of the window's program:"
per_thread "$work/threads0" "$work/threads1"
[ "$mode" = pulse ] || exit 0
echo "  threads of the headless run:"
per_thread "$work/headless-threads0" "$work/headless-threads1"

# ratio WHAT TO CPU WAKES CPU WAKES: WHAT's figures against TO's.
ratio() {
  awk -v what="$1" -v to="$2" -v c="$3" -v w="$4" -v d="$5" -v u="$6" 'BEGIN {
      printf "  %-18s / %-18s CPU %s, wake-ups %s\n", what, to,
             (d > 0 ? sprintf("%.2f x", c / d) : "(none measured beside it)"),
             (u > 0 ? sprintf("%.2f x", w / u) : "-")
    }'
}
# figures I: "CPU WAKES" of measured program I.
figures() { read -r -a f <<< "${all[$1]}"; echo "${f[0]} ${f[1]}"; }
# plus I J: the two programs' figures added (a program and its X server).
plus() {
  read -r -a f <<< "${all[$1]}"
  read -r -a g <<< "${all[$2]}"
  awk -v a="${f[0]}" -v b="${f[1]}" -v c="${g[0]}" -v d="${g[1]}" 'BEGIN { print a + c, b + d }'
}
echo "ratios:"
ratio window parec $(figures 0) $(figures 2)
ratio headless parec $(figures 1) $(figures 2)
if [ -n "$lingot_pid" ]; then
  ratio window lingot $(figures 0) $(figures 3)
  ratio headless lingot $(figures 1) $(figures 3)
  ratio "window + X" "lingot + its X" $(plus 0 4) $(plus 3 5)
else
  echo "  lingot is not installed or left out: not measured (apt-get install lingot)"
fi
grep -H "blocks processed\|Sound input" "$work/program.log" "$work/headless.log" || true

# Recording alone, with parec beside it over the whole benchmark.
capture_bench="$(dirname "$program")/../bench/quillo_pulse_capture_bench"
[ -x "$capture_bench" ] || { echo "live_cpu.sh: no $capture_bench (build with -DQUILLO_BENCH=ON)"; exit 0; }
[ -z "${LIVE_CPU_NO_CAPTURE_BENCH:-}" ] || exit 0
kill "$program_pid" "$headless_pid" ${lingot_pid:+"$lingot_pid"}
t0="$(now_ns)"; p0=($(counts "$parec_pid"))
PULSE_SERVER="$beside_server" "$capture_bench" --benchmark_counters_tabular=true 2> /dev/null
t1="$(now_ns)"; p1=($(counts "$parec_pid"))
awk -v c=$((p1[0] - p0[0])) -v hz="$hz" -v ns=$((t1 - t0)) \
  'BEGIN { printf "parec, beside the benchmark: %.3f %% of one core\n", 100 * c / hz / (ns / 1e9) }'
