# SPDX-License-Identifier: GPL-3.0-or-later
# A private PulseAudio server for scripts/pulse-test.sh and bench/live_cpu.sh (sourced, not
# run): its own runtime folder, so it never meets the user's server, and one null output
# "quillo_out" at 22050 Hz mono, whose monitor is an input that hears what is played into it.

pulse_server_pid=""

# start_pulse_server FOLDER: starts the server there and points this shell's clients at it.
start_pulse_server() {
  local dir="$1"
  mkdir -p "$dir"
  chmod 700 "$dir"
  export XDG_RUNTIME_DIR="$dir" HOME="$dir"
  unset PULSE_SERVER PULSE_RUNTIME_PATH PULSE_COOKIE
  # -n: no default script, only the modules named. --system=false: run as root the server
  # warns, and would otherwise take itself for a system-wide instance.
  timeout 30 pulseaudio -D -n --exit-idle-time=-1 --system=false --use-pid-file=true \
    --log-target="file:$dir/server.log" -L module-native-protocol-unix \
    -L "module-null-sink sink_name=quillo_out rate=22050 channels=1" ||
    { echo "pulseaudio did not start: $(cat "$dir/server.log" 2> /dev/null)" >&2; return 1; }
  pulse_server_pid="$(cat "$dir/pulse/pid")"
}

# Ends the server by its id, at once.
kill_pulse_server() {
  [ -n "$pulse_server_pid" ] && kill -9 "$pulse_server_pid" 2> /dev/null || true
  pulse_server_pid=""
}

# Ends the server by its id, politely first.
stop_pulse_server() {
  [ -n "$pulse_server_pid" ] || return 0
  kill "$pulse_server_pid" 2> /dev/null || true
  for _ in $(seq 50); do kill -0 "$pulse_server_pid" 2> /dev/null || break; sleep 0.1; done
  kill_pulse_server
}
