#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A headless file run on one thread against itself: what it leaves undrawn (the whole picture
# without --snapshot, the waveform strip and the screen copy where nobody looks) changes no
# output, and after "Exit" at block N no further block is processed.
#   one_thread_run_test.sh PATH_TO_QUILLO_SA
set -uo pipefail
program="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
  QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() {  # NAME ARGS...: stderr to work/NAME.err; the exit code is checked
  local name="$1"; shift
  "$program" --headless --input "$work/tone.wav" --pitch-log "$work/$name.csv" --stats "$@" \
    2> "$work/$name.err" || fail "$name exited $?: $(cat "$work/$name.err")"
}
blocks() { sed -n 's/.*quillo-sa: \([0-9]*\) blocks processed.*/\1/p' "$work/$1.err"; }

# 15 s of a gliding tone over noise: 323 blocks, most of them far from the end.
sox -R -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 15 sine 200/900 vol 0.4 \
  synth 15 whitenoise amod 0.1 || fail "sox"

run plain --snapshot "$work/plain.png"
run again --snapshot "$work/again.png"
run nothing
# The pause button pressed twice at one block changes nothing; every 50 blocks, it keeps
# someone looking at every block.
looks=()
for n in $(seq 25 50 300); do looks+=(--command "1203@$n" --command "1203@$n"); done
run looked --snapshot "$work/looked.png" "${looks[@]}"
cmp -s "$work/plain.png" "$work/again.png" || fail "two runs drew different snapshots"
cmp -s "$work/plain.png" "$work/looked.png" || fail "the undrawn strip changed the snapshot"
for name in again nothing looked; do
  cmp -s "$work/plain.csv" "$work/$name.csv" || fail "the pitch log of '$name' differs"
  [ "$(blocks "$name")" = 323 ] || fail "$name processed $(blocks "$name") blocks, not 323"
done

# "Exit" at block N: N blocks processed, the settings saved; with a view switch before it.
for n in 60 97 200; do
  run "exit$n" --command 40060@50 --command "40025@$n" --snapshot "$work/exit$n.png"
  [ "$(blocks "exit$n")" = "$n" ] || fail "Exit@$n: $(blocks "exit$n") blocks processed"
done
[ -s "$work/config/Quillo-SA/setting.txt" ] || fail "Exit did not save the settings"
cmp -s "$work/exit97.png" "$work/exit200.png" && fail "Exit at 97 and 200 drew the same"

exit $((failures > 0))
