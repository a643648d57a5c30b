# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the long-run scripts of bench/ (sourced, not run): the optional tools they use,
# the generated test audio and the program's private folders.

# Installs the Debian packages named that are missing. These are for the measurements only;
# the build and the tests never need them, so they stay out of scripts/install-deps.sh.
install_optional() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# make_moving_tone SECONDS OUTPUT: SECONDS of 22050 Hz mono 16-bit audio, a tone gliding
# between 220 and 880 Hz (up in 10 s, down in 10 s, again and again) over white noise 20 dB
# below it. Made once (kept while OUTPUT exists), the same bytes every time (sox -R).
make_moving_tone() {
  local seconds="$1" output="$2"
  [ -s "$output" ] && return 0
  local work
  work="$(mktemp -d "$(dirname "$output")/tone.XXXXXX")"
  local sweeps=$(((seconds + 19) / 20))
  sox -R -n -r 22050 -c 1 -b 32 "$work/up.wav" synth 10 sine 220/880 vol 0.5
  sox -R "$work/up.wav" "$work/down.wav" reverse
  sox -R "$work/up.wav" "$work/down.wav" "$work/sweep.wav"
  sox -R "$work/sweep.wav" "$work/tone.wav" repeat $((sweeps - 1))
  sox -R -n -r 22050 -c 1 -b 32 "$work/noise.wav" synth "$seconds" whitenoise vol 0.05
  sox -R -m -v 1 "$work/tone.wav" -v 1 "$work/noise.wav" -b 16 "$work/out.wav" trim 0 "$seconds"
  mv "$work/out.wav" "$output"
  rm -rf "$work"
}

# Frames in an audio file, and the blocks of 1024 the program must make of them.
audio_frames() { soxi -s "$1"; }
blocks_of() { echo $((($(audio_frames "$1") + 1023) / 1024)); }

# A settings folder of the program's own (the defaults: no file), so that runs never read
# or write the user's, and a runtime folder of its own for the single-instance lock, so
# that a windowed run is not taken for a second instance of someone else's.
private_program_folders() {
  local base="$1"
  mkdir -p "$base/config" "$base/runtime"
  chmod 700 "$base/runtime"
  rm -f "$base/config/Quillo-SA/setting.txt"
  export XDG_CONFIG_HOME="$base/config" XDG_RUNTIME_DIR="$base/runtime"
}

# The "N blocks processed, D dropped by catch-up, O capture queue overflows" line's numbers.
stats_of() {
  sed -n 's/.*quillo-sa: \([0-9]*\) blocks processed, \([0-9]*\) dropped by catch-up, \([0-9]*\) capture queue overflows.*/\1 \2 \3/p' "$1" | tail -n 1
}

# stop_ids PID...: ends each process by its id, politely first, at once after 5 s.
stop_ids() {
  local pid
  for pid in "$@"; do
    kill "$pid" 2> /dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2> /dev/null || true
  done
}

# start_xvfb FIRST LOG: an X server (1920 x 1080) on the first display number from FIRST with
# neither socket nor lock file (a server that ends lost a race for it); sets xvfb_display
# and xvfb_pid, or returns 1.
start_xvfb() {
  local n
  xvfb_display="" xvfb_pid=""
  for n in $(seq "$1" $(($1 + 60))); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset > "$2" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    if kill -0 "$xvfb_pid" 2> /dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      xvfb_display=":$n"
      return 0
    fi
    xvfb_pid=""
  done
  return 1
}
