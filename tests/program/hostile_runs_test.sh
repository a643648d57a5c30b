#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as a hostile user runs it: outputs aimed at the input or at each other, full
# disks, odd MP3s, signals while it waits, broken pipes, odd settings and instance folders.
# Each case is one ctest test.
#   hostile_runs_test.sh PATH_TO_QUILLO_SA CASE
set -uo pipefail
Q="$1"
case_name="$2"
scripts="$(cd "$(dirname "$0")/../../scripts" && pwd)"
work="$(mktemp -d)"
chmod 755 "$work"
mounted=""
server=""
cleanup() {
  [ -n "$mounted" ] && umount "$mounted"
  [ -n "$server" ] && kill -9 "$server"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/runtime"
export TMPDIR="$work" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
  XDG_RUNTIME_DIR="$work/runtime" HOME="$work" QT_QPA_PLATFORM=offscreen
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs the program's command line "$@" with stderr in $work/err; sets $code.
run() {
  timeout -s KILL 60 "$@" 2> "$work/err"
  code=$?
}
# The last run ended with `want` and said one line that holds `text`.
said() {
  local want="$1" text="$2"
  [ "$code" -eq "$want" ] || fail "exited $code, not $want: $(cat "$work/err")"
  [ "$(wc -l < "$work/err")" -eq 1 ] || fail "stderr is not one line: $(cat "$work/err")"
  grep -q '^quillo-sa: ' "$work/err" || fail "stderr does not start with quillo-sa: $(cat "$work/err")"
  grep -qF -- "$text" "$work/err" || fail "stderr does not say '$text': $(cat "$work/err")"
}
tone() { sox -n -r 22050 -c 1 -b 16 "$1" synth "${2:-1}" sine 440 || fail "sox $1"; }
is_png() { [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = "211PNG" ]; }
# Waits until process $1 catches SIGINT and, when $2 is given, until that command succeeds.
ready() {
  local mask
  for _ in $(seq 600); do
    mask="$(awk '/^SigCgt/ {print $2}' "/proc/$1/status" 2> /dev/null)"
    if [ -n "$mask" ] && [ $((0x$mask & 2)) -ne 0 ] && { [ -z "$2" ] || eval "$2"; }; then
      return
    fi
    sleep 0.05
  done
}
# Sends signal $2 to process $1 once it is ready (see ready, with $3), and sets $code to how
# it ended; a run that the signal did not end within 30 s is killed (code 137).
signalled() {
  ready "$1" "${3:-}"
  kill "-$2" "$1"
  local waited=0
  while kill -0 "$1" 2> /dev/null && [ "$waited" -lt 300 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL "$1" 2> /dev/null
  wait "$1" 2> /dev/null
  code=$?
}

case "$case_name" in

standard_input_is_never_an_output)
  tone in.wav
  cp in.wav keep.wav
  run "$Q" --headless --input - --snapshot in.wav < in.wav
  said 2 "is the same file as --input (standard input)"
  run "$Q" --headless --input - --pitch-log in.wav < in.wav
  said 2 "is the same file as --input (standard input)"
  run "$Q" --headless --input - --pitch-log /dev/stdin < in.wav
  said 2 "is the same file as --input (standard input)"
  cmp -s in.wav keep.wav || { fail "the input was overwritten"; cp keep.wav in.wav; }
  # Standard input from a pipe is no file an output could name.
  run sh -c 'cat in.wav | "$0" --headless --input - --snapshot shot.png' "$Q"
  [ "$code" -eq 0 ] || fail "a pipe on standard input: $code $(cat "$work/err")"
  ;;

outputs_meeting_through_a_dangling_link)
  tone in.wav
  ln -s missing.csv dang.csv
  run "$Q" --headless in.wav --pitch-log dang.csv --snapshot missing.csv
  said 2 "is the same file as --pitch-log"
  ln -s sub/../chain.csv chain1.csv
  ln -s chain1.csv chain2.csv
  mkdir sub
  run "$Q" --headless in.wav --pitch-log chain.csv --snapshot chain2.csv
  said 2 "is the same file as --pitch-log"
  [ ! -e missing.csv ] && [ ! -e chain.csv ] || fail "an output was written"
  ;;

a_full_disk_keeps_the_old_snapshot)
  tone in.wav
  mkdir disk
  mount -t tmpfs -o size=256k tmpfs disk || exit 77  # no mounting here: skipped
  mounted="$work/disk"
  run "$Q" --headless in.wav --snapshot disk/old.png
  [ "$code" -eq 0 ] && is_png disk/old.png || fail "the first snapshot: $code $(cat "$work/err")"
  cp disk/old.png old.png
  dd if=/dev/zero of=disk/fill bs=4k 2> /dev/null
  run "$Q" --headless in.wav --snapshot disk/old.png --command 40060@5
  said 1 "the snapshot was not written: disk/old.png: No space left on device"
  cmp -s old.png disk/old.png || fail "the old snapshot was not kept"
  run "$Q" --headless in.wav --snapshot disk/new.png
  said 1 "No space left on device"
  [ "$(ls disk | tr '\n' ' ')" = "fill old.png " ] || fail "left on the disk: $(ls disk)"
  ;;

a_spectrum_too_large_to_write_keeps_the_old_one)
  tone in.wav
  run "$Q" --headless in.wav --spectrum-out old.csv
  [ "$code" -eq 0 ] && head -1 old.csv | grep -qx 'frequency_hz,level_db' ||
    fail "the first spectrum: $code $(cat "$work/err")"
  cp old.csv kept.csv
  # Files limited to 8 KiB, a tenth of the spectrum (root writes where it likes, but not past this).
  run sh -c 'trap "" XFSZ; ulimit -f 8; exec "$0" --headless in.wav --spectrum-out old.csv' "$Q"
  said 1 "the spectrum was not written: old.csv: File too large"
  cmp -s kept.csv old.csv || fail "the old spectrum was not kept"
  [ "$(ls | tr "\n" " ")" = "config err in.wav kept.csv old.csv runtime state " ] || fail "left: $(ls)"
  ;;

an_mp3_with_a_richer_first_frame_plays_whole)
  # No Xing frame, and a first frame of 160 kb/s before 8 kb/s ones: the decoder's length
  # estimate covers a small part of the file.
  sox -n -r 22050 -c 1 -C 160 hi.mp3 synth 1 sine 440 || fail "sox"
  sox -n -r 22050 -c 1 -C 8 lo.mp3 synth 9 sine 440 || fail "sox"
  cat hi.mp3 lo.mp3 > v.mp3
  run "$Q" --headless v.mp3 --stats
  from_file="$(grep -o '[0-9]* blocks processed' err)"
  [ "$code" -eq 0 ] || fail "from the file: $code $(cat err)"
  # Ten seconds at 22050 Hz are 215 blocks of 1024 samples, and the decoder's padding more.
  # (Through a pipe it plays whole too, but libsndfile 1.2.0 reads a byte before its own
  # buffer when it opens MPEG audio from a pipe, which the sanitizer build would report.)
  [ "${from_file%% *}" -ge 215 ] || fail "from the file: $from_file"
  # Standard input from the file, which is read through its own descriptor.
  run sh -c 'exec "$0" --headless - --stats < v.mp3' "$Q"
  [ "$(grep -o '[0-9]* blocks processed' err)" = "$from_file" ] || fail "standard input: $(cat err)"
  ;;

a_reader_that_goes_away_is_an_output_failure)
  tone in.wav 10
  # A FIFO whose reader has gone before the program starts: its first write fails.
  mkfifo gone
  exec 3<> gone 4> gone 3>&-
  run "$Q" --headless in.wav --pitch-log - --snapshot shot.png >&4
  exec 4>&-
  said 1 "the pitch log on standard output was not written in full: Broken pipe"
  is_png shot.png || fail "no snapshot"
  ;;

an_output_that_cannot_be_made_is_a_failure)
  tone in.wav
  run "$Q" --headless in.wav --pitch-log missing/log.csv
  said 1 "the pitch log missing/log.csv cannot be created: No such file or directory"
  run "$Q" --headless in.wav --snapshot missing/shot.png
  said 1 "the snapshot was not written: missing/shot.png"
  ;;

zero_cents_read_plus_zero)
  # A hair flat of A: the accurate estimator's cents round to zero from below.
  sox -n -r 22050 -c 1 -b 16 flat.wav synth 2 sine 439.95 || fail "sox"
  run "$Q" --headless flat.wav --pitch accurate --pitch-log log.csv
  [ "$code" -eq 0 ] || fail "exited $code: $(cat err)"
  grep -q ',+0,locked$' log.csv || fail "no row of zero cents: $(head -3 log.csv)"
  ! grep -q ',-0,' log.csv || fail "zero cents written as -0"
  ;;

several_inputs_are_a_usage_error)
  tone a.wav
  tone b.wav
  run "$Q" --headless --input a.wav --input b.wav --snapshot shot.png
  said 2 "one input at a time"
  run "$Q" --headless a.wav --input=b.wav --snapshot shot.png
  said 2 "one input at a time"
  [ ! -e shot.png ] || fail "a run began"
  ;;

a_signal_ends_the_wait_for_a_paused_input)
  tone in.wav 10
  mkfifo in.fifo
  for signal in INT TERM HUP; do
    want=$((128 + $(kill -l "$signal")))
    for how in named standard; do
      # The writer sends the first blocks, then pauses for longer than the test waits.
      (head -c 100000 in.wav; exec sleep 60) 2> /dev/null > in.fifo &
      writer=$!
      rm -f state/Quillo-SA/fp_win.txt
      if [ "$how" = named ]; then
        "$Q" --headless in.fifo --snapshot "$how-$signal.png" 2> err &
      else
        "$Q" --headless - --snapshot "$how-$signal.png" < in.fifo 2> err &
      fi
      # Once the window is made (it writes fp_win.txt), the input is open and being read.
      signalled $! "$signal" "[ -e state/Quillo-SA/fp_win.txt ]"
      kill "$writer"
      [ "$code" -eq "$want" ] || fail "$how, $signal: exited $code"
      [ ! -s err ] || fail "$how, $signal: said $(cat err)"
      is_png "$how-$signal.png" || fail "$how, $signal: no snapshot"
    done
  done
  ;;

a_signal_ends_the_wait_for_a_snapshot_reader)
  tone in.wav
  mkfifo shot.png
  for signal in INT TERM; do
    "$Q" --headless in.wav --snapshot shot.png --pitch-log "log-$signal.csv" 2> err &
    # The log is written whole just before the snapshot is begun.
    signalled $! "$signal" "[ \"\$(cat log-$signal.csv 2> /dev/null | wc -l)\" -gt 1 ]"
    [ "$code" -eq "$((128 + $(kill -l "$signal")))" ] || fail "$signal: exited $code $(cat err)"
    grep -qx "quillo-sa: the snapshot was not written: shot.png: Interrupted system call" err ||
      fail "$signal: said $(cat err)"
    [ "$(wc -l < "log-$signal.csv")" -gt 1 ] || fail "$signal: the log was not written"
  done
  # A pitch log that is a FIFO without a reader, at the start.
  mkfifo log.csv
  "$Q" --headless in.wav --pitch-log log.csv 2> err &
  signalled $! HUP
  [ "$code" -eq 129 ] || fail "the log: exited $code $(cat err)"
  [ ! -s err ] || fail "the log: said $(cat err)"
  ;;

a_signal_ends_the_wait_for_a_frozen_sound_server)
  command -v pulseaudio > /dev/null || exit 77
  # A private server in the run's own runtime folder, which every client finds, then frozen.
  (. "$scripts/pulse-server.sh" && start_pulse_server "$work/runtime") > /dev/null 2>&1 ||
    { fail "pulseaudio did not start"; exit 1; }
  server="$(cat "$work/runtime/pulse/pid")"
  kill -STOP "$server"
  "$Q" --headless 2> err &
  signalled $! INT
  [ "$code" -eq 130 ] || fail "a live start: exited $code $(cat err)"
  [ ! -s err ] || fail "a live start said $(cat err)"
  "$Q" --list-devices > out 2> err &
  signalled $! TERM
  [ "$code" -eq 143 ] || fail "a listing: exited $code $(cat err)"
  # Without a signal, the listing gives up on the server, and on the sound systems behind it.
  run "$Q" --list-devices
  said 1 "the sound server did not answer in time"
  ;;

a_live_run_logs_every_block_and_ends_on_exit_a_signal_or_a_lost_server)
  command -v pulseaudio > /dev/null || exit 77
  (. "$scripts/pulse-server.sh" && start_pulse_server "$work/runtime") > /dev/null 2>&1 ||
    { fail "pulseaudio did not start"; exit 1; }
  server="$(cat "$work/runtime/pulse/pid")"
  tone in.wav 60
  paplay --device=quillo_out in.wav 2> /dev/null &
  player=$!
  live=(--headless --device quillo_out.monitor)
  # "Exit" after 30 blocks: a row for every block after the first, each the tone's note.
  run "$Q" "${live[@]}" --pitch-log log.csv --command 1@30 --stats
  [ "$code" -eq 0 ] || fail "exit: exited $code $(cat err)"
  grep -q "30 blocks processed, 0 dropped by catch-up, 0 capture queue overflows" err ||
    fail "exit: said $(cat err)"
  [ "$(wc -l < log.csv)" -eq 30 ] || fail "exit: $(wc -l < log.csv) lines logged"
  [ "$(grep -c ',A,' log.csv)" -ge 25 ] || fail "exit: the tone is not read: $(cat log.csv)"
  # Paused, the server delivers 0.75 s at a time, looked for on a timer: the blocks still
  # come, up to the end of the delivery that holds the one after which "Exit" comes.
  run "$Q" "${live[@]}" --command 1203@5 --command 1@40 --stats
  [ "$code" -eq 0 ] || fail "paused: exited $code $(cat err)"
  grep -q "quillo-sa: 4[0-9] blocks processed, 0 dropped" err || fail "paused: said $(cat err)"
  # A signal ends it at once, with what it logged.
  "$Q" "${live[@]}" --pitch-log signalled.csv 2> err &
  started=$(date +%s%N)
  signalled $! TERM '[ "$(wc -l < signalled.csv)" -gt 5 ]'
  [ "$code" -eq 143 ] || fail "a signal: exited $code $(cat err)"
  [ $(($(date +%s%N) - started)) -lt 30000000000 ] || fail "a signal: not answered"
  [ "$(wc -l < signalled.csv)" -gt 5 ] || fail "a signal: the log was not kept"
  # The server going away mid-run ends it with the failure and its reason.
  "$Q" "${live[@]}" --pitch-log lost.csv 2> err &
  pid=$!
  ready "$pid" '[ "$(wc -l < lost.csv)" -gt 5 ]'
  kill -9 "$server"
  server=""
  for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2> /dev/null && fail "a lost server: the run went on"
  wait "$pid"
  code=$?
  [ "$code" -eq 1 ] || fail "a lost server: exited $code $(cat err)"
  grep -q "Sound input failed!" err || fail "a lost server: said $(cat err)"
  kill "$player" 2> /dev/null
  ;;

a_folder_in_the_lock_files_place_is_no_running_instance)
  tone in.wav
  mkdir -p runtime/Quillo-SA/instance.lock
  chmod 700 runtime/Quillo-SA
  # A window (on Qt's offscreen platform) that quits after 5 blocks.
  run "$Q" in.wav --command 1@5 --stats
  [ "$code" -eq 0 ] || fail "exited $code: $(cat err)"
  grep -q "quillo-sa: $work/runtime/Quillo-SA/instance.lock is not a lock file; running without the single-instance check" err ||
    fail "said $(cat err)"
  grep -q "quillo-sa: [0-9]* blocks processed" err || fail "did not run: $(cat err)"
  [ -d runtime/Quillo-SA/instance.lock ] || fail "the folder was removed"
  ;;

logscale_is_saved_as_read)
  tone in.wav
  mkdir -p config/Quillo-SA
  for first in -1 256 300; do
    printf '%s 80 20 0 1 2 1 2' "$first" > config/Quillo-SA/setting.txt
    run "$Q" --headless in.wav --command 40025@2
    [ "$code" -eq 0 ] || fail "$first: exited $code $(cat err)"
    saved="$(cat config/Quillo-SA/setting.txt)"
    [ "$saved" = "$first 80 20 0 1 2 1 2" ] || fail "$first: saved as $saved"
  done
  ;;

control_characters_in_a_device_name_are_escaped)
  command -v pulseaudio > /dev/null || exit 77
  (. "$scripts/pulse-server.sh" && start_pulse_server "$work/runtime") > /dev/null 2>&1 ||
    { fail "pulseaudio did not start"; exit 1; }
  server="$(cat "$work/runtime/pulse/pid")"
  run "$Q" --headless --device $'\e[31mred\nline'
  [ "$code" -eq 1 ] || fail "exited $code: $(cat err)"
  grep -qF 'no source named or described as "\e[31mred\nline"' err || fail "said $(cat err)"
  ! grep -q $'\e' err || fail "an escape character reached stderr"
  [ "$(wc -l < err)" -eq 2 ] || fail "not the box's line and the reason: $(cat err)"
  # An input chosen before, remembered with control characters, and gone.
  mkdir -p config/Quillo-SA
  printf 'microphone = \e[31mgone\n' > config/Quillo-SA/choices.txt
  run "$Q" --headless --command 1@0
  [ "$code" -eq 0 ] || fail "exited $code: $(cat err)"
  grep -qxF 'quillo-sa: \e[31mgone, chosen before, is not here: the default input' err ||
    fail "said $(cat err)"
  ;;

no_display_is_one_line)
  tone in.wav
  run env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$Q" in.wav --pitch-log log.csv
  said 1 "quillo-sa: no display to show the window on (DISPLAY is not set); --headless runs without one"
  run env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:9$$ "$Q" in.wav
  said 1 "the display :9$$ cannot be opened"
  ;;

a_foreign_state_folder_is_not_written_in)
  tone in.wav
  # A shared state folder where another user (nobody) came first: a folder open to all, and
  # a link to a folder of the victim's.
  mkdir -m 1777 shared1 shared2
  mkdir victim
  setpriv --reuid=65534 --regid=65534 --clear-groups mkdir -m 777 shared1/Quillo-SA ||
    { fail "setpriv"; exit 1; }
  setpriv --reuid=65534 --regid=65534 --clear-groups ln -s "$work/victim" shared2/Quillo-SA
  for shared in shared1 shared2; do
    XDG_STATE_HOME="$work/$shared" run "$Q" --headless in.wav
    [ "$code" -eq 0 ] || fail "$shared: exited $code $(cat err)"
    grep -qx "quillo-sa: $work/$shared/Quillo-SA is not a folder of this user's own; fp_win.txt is not written" err ||
      fail "$shared: said $(cat err)"
  done
  [ ! -e shared1/Quillo-SA/fp_win.txt ] && [ ! -e victim/fp_win.txt ] || fail "written there"
  ;;

settings_that_cannot_be_read_or_placed_are_said_so)
  tone in.wav
  # An unreadable settings file, for a user who is not root.
  mkdir -p -m 700 user/config/Quillo-SA user/runtime
  cp in.wav user/
  printf '1 90 30 0 1 2 1 2' > user/config/Quillo-SA/setting.txt
  chmod 000 user/config/Quillo-SA/setting.txt
  chown -R 65534:65534 user
  XDG_CONFIG_HOME="$work/user/config" XDG_STATE_HOME="$work/user/state" HOME="$work/user" \
    XDG_RUNTIME_DIR="$work/user/runtime" \
    run setpriv --reuid=65534 --regid=65534 --clear-groups "$Q" --headless user/in.wav --command 40025@2
  [ "$code" -eq 1 ] || fail "unreadable: exited $code $(cat err)"
  grep -qx "quillo-sa: $work/user/config/Quillo-SA/setting.txt cannot be read (Permission denied); it is not read, nor replaced" err ||
    fail "unreadable: said $(cat err)"
  grep -q "The settings could not be saved: Permission denied" err || fail "unreadable: said $(cat err)"
  [ "$(cat user/config/Quillo-SA/setting.txt)" = "1 90 30 0 1 2 1 2" ] || fail "replaced"
  # A settings folder whose path is too long for the system.
  long="$work/$(printf 'x%.0s' $(seq 4100))"
  XDG_CONFIG_HOME="$long" run "$Q" --headless in.wav --command 40025@2
  [ "$code" -eq 1 ] || fail "too long: exited $code $(cat err)"
  grep -q "The settings could not be saved: File name too long" err || fail "too long: said $(cat err)"
  ;;

mpeg_decoder_notes_stay_off_stderr)
  sox -n -r 22050 -c 1 -C -4.2 vbr.mp3 synth 3 sine 440 || fail "sox"
  sox -n -r 22050 -c 1 tone.mp3 synth 3 sine 440 || fail "sox"
  # Its Xing frame states fewer bytes than the file holds: it plays, with nothing to say.
  cat vbr.mp3 tone.mp3 > longer.mp3
  run "$Q" --headless longer.mp3
  [ "$code" -eq 0 ] || fail "longer.mp3: exited $code $(cat err)"
  [ ! -s err ] || fail "longer.mp3: said $(cat err)"
  # Text in the middle: the decoder gives up there, and the program says so in one line.
  half=$(($(stat -c %s tone.mp3) / 2))
  { head -c "$half" tone.mp3; seq 1000 1999 | tr -d '\n' | head -c 2048; tail -c +$((half + 1)) tone.mp3; } > junk.mp3
  run "$Q" --headless junk.mp3
  said 2 "junk.mp3: damaged or truncated after"
  ;;

*)
  echo "unknown case $case_name"
  exit 2
  ;;
esac
exit $((failures > 0))
