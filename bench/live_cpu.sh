#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program's own cost while it runs live in a window: Xvfb, the picture at scale 3, a
# generated 60 s recording at 22050 Hz. Prints, over the measured span, the percent of one
# core each measured program took (its threads' time on a processor in nanoseconds, from
# /proc/PID/task/*/schedstat, read every second) and how often its threads woke (voluntary and
# involuntary context switches of every thread, /proc/PID/task/*/status; the involuntary ones
# grow with the machine's load, so both are shown), and each thread's share of the program's
# and the headless run's.
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

# snapshot PID: "TID NS VOLUNTARY INVOLUNTARY NAME" for each of its threads: the thread's
# time on a processor in nanoseconds (the first field of its schedstat; utime and stime come
# in 10 ms ticks, too coarse for a program at a few tenths of a percent) and its context
# switches. grep goes on past a thread that ends between the listing and the reading.
snapshot() {
  [ -d "/proc/$1/task" ] || { echo "live_cpu.sh: process $1 ended" >&2; exit 1; }
  grep -H "" /proc/"$1"/task/*/schedstat /proc/"$1"/task/*/status 2> /dev/null | awk '
    { i = index($0, ":"); split(substr($0, 1, i - 1), path, "/"); tid = path[5]
      line = substr($0, i + 1) }
    path[6] == "schedstat" { split(line, f, " "); ns[tid] = f[1]; next }
    line ~ /^Name:/ { sub(/^Name:[ \t]*/, "", line); gsub(/[ \t]/, "_", line); name[tid] = line }
    line ~ /^voluntary_ctxt_switches/ { split(line, f, /[ \t]+/); v[tid] = f[2] }
    line ~ /^nonvoluntary_ctxt_switches/ { split(line, f, /[ \t]+/); n[tid] = f[2] }
    END { for (t in ns) if (t in n) print t, ns[t], v[t], n[t], name[t] }'
}
# track STATE: folds a snapshot (standard input) into STATE, one line per thread seen over the
# span: "TID NS0 NS VOLUNTARY0 VOLUNTARY INVOLUNTARY0 INVOLUNTARY NAME SEEN". A thread first
# seen after the first snapshot started within the span, so it counts from zero; one that
# ended keeps what its last snapshot said (SEEN 0). Snapshots a second apart therefore miss
# at most the last second of a thread that ended, and all of one that lived less than that.
track() {
  local state="$1"
  if [ ! -e "$state" ]; then
    awk '{ print $1, $2, $2, $3, $3, $4, $4, $5, 1 }' > "$state"
    return
  fi
  awk 'NR == FNR { now[$1] = $0; next }
    { if ($1 in now) { split(now[$1], f, " "); print $1, $2, f[2], $4, f[3], $6, f[4], $8, 1
                       delete now[$1] }
      else print $1, $2, $3, $4, $5, $6, $7, $8, 0 }
    END { for (t in now) { split(now[t], f, " "); print t, 0, f[2], 0, f[3], 0, f[4], f[5], 1 } }' \
    - "$state" > "$state.new"
  mv "$state.new" "$state"
}
now_ns() { date +%s%N; }

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
# snapshot_all: one snapshot of every measured program into its state.
snapshot_all() {
  local i
  for i in "${!measured[@]}"; do
    snapshot "${measured[$i]}" > "$work/snapshot"
    track "$work/state$i" < "$work/snapshot"
  done
}
t0="$(now_ns)"
snapshot_all
for _ in $(seq "$seconds"); do
  sleep 1
  snapshot_all
done
t1="$(now_ns)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# rates STATE: "CPU% WAKES/S VOLUNTARY/S ENDED" of a measured program over the span, ENDED
# the threads that ended within it.
rates() {
  awk -v ns=$((t1 - t0)) '{ c += $3 - $2; v += $5 - $4; w += $5 - $4 + $7 - $6; e += !$9 }
    END { s = ns / 1e9; printf "%.3f %.1f %.1f %d\n", 100 * c / ns, w / s, v / s, e }' "$1"
}
span="$(awk -v ns=$((t1 - t0)) 'BEGIN { printf "%.1f", ns / 1e9 }')"
echo "over $span s:"
all=()
for i in "${!measured[@]}"; do
  read -r -a r <<< "$(rates "$work/state$i")"
  all+=("${r[*]}")
  printf '  %-45s %7.3f %% of one core, %6.1f wake-ups/s (%5.1f voluntary)' \
    "${names[$i]}" "${r[0]}" "${r[1]}" "${r[2]}"
  [ "${r[3]}" -eq 0 ] && echo || echo " (${r[3]} threads ended: counted to their last second)"
done
# per_thread STATE: each thread of a program that ran or woke over the span.
per_thread() {
  awk -v ns=$((t1 - t0)) '$3 > $2 || $5 + $7 > $4 + $6 {
      s = ns / 1e9
      printf "    %s %s: %.3f %%, %.1f/s (%.1f voluntary)%s\n", $1, $8, 100 * ($3 - $2) / ns,
             ($5 + $7 - $4 - $6) / s, ($5 - $4) / s, ($9 ? "" : ", ended")
    }' "$1"
}
echo "  threads of the window's program:"
per_thread "$work/state0"
[ "$mode" = pulse ] || exit 0
echo "  threads of the headless run:"
per_thread "$work/state1"

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
[ -z "${LIVE_CPU_NO_CAPTURE_BENCH:-}" ] || exit 0
[ -x "$capture_bench" ] || { echo "live_cpu.sh: no $capture_bench (build with -DQUILLO_BENCH=ON)"; exit 0; }
kill "$program_pid" "$headless_pid" ${lingot_pid:+"$lingot_pid"}
rm -f "$work/parec-alone"
t0="$(now_ns)"
snapshot "$parec_pid" > "$work/snapshot"
track "$work/parec-alone" < "$work/snapshot"
PULSE_SERVER="$beside_server" "$capture_bench" --benchmark_counters_tabular=true 2> /dev/null
snapshot "$parec_pid" > "$work/snapshot"
track "$work/parec-alone" < "$work/snapshot"
t1="$(now_ns)"
read -r -a r <<< "$(rates "$work/parec-alone")"
echo "parec, beside the benchmark: ${r[0]} % of one core"
