#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The live microphone path against a real sound server: a private PulseAudio (its own runtime
# folder, two null outputs whose monitors are the inputs), a 440 Hz tone played into one of
# them, and headless runs of the program on it: device listing and choice, the pitch log and
# --stats of a live run, and the source and the server going away mid-run (a line, exit 1,
# no hang). Cleans up after itself whatever happens; every run of the program is bounded.
#   scripts/pulse-test.sh [PATH_TO_QUILLO_SA]      (default: build/program/quillo-sa)
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/program/quillo-sa}")"
[ -x "$program" ] || { echo "pulse-test.sh: no program at $program" >&2; exit 2; }
for tool in pulseaudio pactl paplay sox; do
  command -v "$tool" > /dev/null || { echo "pulse-test.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
source scripts/pulse-server.sh

work="$(mktemp -d)"
player_pid=""
cleanup() {
  [ -n "$player_pid" ] && kill "$player_pid" 2> /dev/null || true
  stop_pulse_server
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "pulse-test.sh: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "pulse-test.sh: ok: $*"; }

start_pulse_server "$work/pulse"
other_module="$(pactl load-module module-null-sink sink_name=quillo_other rate=22050 channels=1 \
  sink_properties=device.description=Other)"
pactl set-default-source quillo_out.monitor
export XDG_CONFIG_HOME="$work/config"  # the program's settings: the defaults, never the user's

sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 120 sine 440 vol 0.5
paplay --device=quillo_out "$work/tone.wav" 2> "$work/player.err" &
player_pid=$!

# run NAME SECONDS ARGS...: the program headless, at most SECONDS; its code in $work/NAME.code.
run() {
  local name="$1" seconds="$2"
  shift 2
  local code=0
  timeout -k 5 "$seconds" "$program" --headless "$@" > "$work/$name.out" 2> "$work/$name.err" || code=$?
  echo "$code" > "$work/$name.code"
}

# ---- Listing: the server's sources, not PortAudio's; the default marked ----
run list 20 --list-devices
if grep -qx "Monitor of Null Output \[quillo_out.monitor\] (monitor) (default)" "$work/list.out" &&
   grep -qx "Monitor of Other \[quillo_other.monitor\] (monitor)" "$work/list.out" &&
   [ "$(wc -l < "$work/list.out")" -eq 2 ]; then
  pass "--list-devices lists the server's sources"
else
  fail "--list-devices: $(cat "$work/list.out" "$work/list.err")"
fi

# ---- A live run on the tone: pitch log near 440 Hz, nothing dropped ----
blocks=200  # 9.3 s
run live 60 --device quillo_out.monitor --pitch-log "$work/live.csv" --stats --command "1@$blocks"
read -r rows near < <(awk -F, 'NR > 1 { rows++; if ($5 == "locked" && $2 >= 439 && $2 <= 441) near++ }
  END { print rows + 0, near + 0 }' "$work/live.csv")
stats="$(grep -o '[0-9]* blocks processed, [0-9]* dropped by catch-up, [0-9]* capture queue overflows' "$work/live.err" || true)"
if [ "$(cat "$work/live.code")" = 0 ] && [ "$rows" -ge $((blocks - 1)) ] && [ $((near * 100)) -ge $((rows * 95)) ] &&
   [[ "$stats" =~ ^[0-9]+\ blocks\ processed,\ 0\ dropped\ by\ catch-up,\ 0\ capture\ queue\ overflows$ ]]; then
  pass "live run: $near of $rows pitch rows locked at 440 ± 1 Hz; $stats"
else
  fail "live run (code $(cat "$work/live.code"), $near of $rows rows near 440 Hz): $(cat "$work/live.err")"
fi

# ---- Choice by part of a description: the silent output's monitor hears no pitch ----
run silent 60 --device "of Other" --pitch-log "$work/silent.csv" --command 1@40
sounding="$(awk -F, 'NR > 1 && $2 != "0.000"' "$work/silent.csv" | wc -l)"
if [ "$(cat "$work/silent.code")" = 0 ] && [ "$(wc -l < "$work/silent.csv")" -ge 40 ] && [ "$sounding" -eq 0 ]; then
  pass "--device by part of a description chose the silent output"
else
  fail "--device \"of Other\" (code $(cat "$work/silent.code"), $sounding rows with a pitch): $(cat "$work/silent.err")"
fi

# ---- A name the server does not know: the opening fails, with the server's reason ----
run unknown 20 --device "no such source"
if [ "$(cat "$work/unknown.code")" = 1 ] && grep -q "Sound input failed!" "$work/unknown.err" &&
  grep -q 'no source named or described as "no such source"' "$work/unknown.err"; then
  pass "an unknown --device fails to open: exit 1 with the server's reason"
else
  fail "--device \"no such source\" (code $(cat "$work/unknown.code")): $(cat "$work/unknown.err")"
fi

# expect_lost NAME WHAT: the run ended with code 1, said so in a line, flushed its outputs.
expect_lost() {
  local name="$1" what="$2"
  if [ "$(cat "$work/$name.code")" = 1 ] && grep -q "Sound input failed!" "$work/$name.err" &&
     grep -q "quillo-sa: $what" "$work/$name.err" && grep -q "blocks processed" "$work/$name.err" &&
     head -n 1 "$work/$name.csv" | grep -q '^time_s,'; then
    pass "$what: exit 1 with a line"
  else
    fail "$what (code $(cat "$work/$name.code")): $(cat "$work/$name.err")"
  fi
}

# ---- The chosen source goes away mid-run ----
run gone 30 --device quillo_other.monitor --pitch-log "$work/gone.csv" --stats &
run_pid=$!
sleep 3
pactl unload-module "$other_module"
wait "$run_pid"
expect_lost gone "the sound source went away"

# ---- The server ends mid-run (killed: no goodbye on the socket) ----
run killed 30 --pitch-log "$work/killed.csv" --stats &
run_pid=$!
sleep 3
kill_pulse_server
wait "$run_pid"
expect_lost killed "the sound server went away"

if [ "$failures" -gt 0 ]; then
  echo "pulse-test.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "pulse-test.sh: all checks passed"
