#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as a user runs it: option mistakes, an unreadable file, and headless runs on a
# generated tone that end at the file's end, write the snapshot and follow scripted commands.
#   program_smoke_test.sh PATH_TO_QUILLO_SA
set -uo pipefail
program="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
  QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Exit code and the number of lines on stderr.
expect_error() {
  local want="$1"; shift
  "$program" "$@" > "$work/out" 2> "$work/err"
  local code=$?
  [ "$code" -eq "$want" ] || fail "$* exited $code, not $want"
  [ "$(wc -l < "$work/err")" -eq 1 ] || fail "$*: stderr is not one line: $(cat "$work/err")"
  grep -q '^quillo-sa: ' "$work/err" || fail "$*: stderr does not start with quillo-sa:"
}

[ "$("$program" --version)" = "quillo-sa 0.1" ] || fail "--version"
"$program" --help | grep -q -- '--snapshot' || fail "--help"
expect_error 2 --bogus
expect_error 2 --command 12
expect_error 2 --headless --input "$work/missing.wav"
expect_error 1 --pitch-log "$work/no/such/folder/pitch.csv"

# 2.3 s of 440 Hz: not a whole number of 1024-sample blocks.
sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 2.3 sine 440 || fail "sox"

timeout 60 "$program" --headless --input "$work/tone.wav" --snapshot "$work/view.png" \
  --command 40060@10 2> "$work/err"
code=$?
[ "$code" -eq 0 ] || fail "headless run exited $code: $(cat "$work/err")"
# A PNG of 240 x 268: the signature, then IHDR's width and height.
header="$(od -An -tx1 -N24 "$work/view.png" | tr -d ' \n')"
[ "${header:0:16}" = "89504e470d0a1a0a" ] || fail "the snapshot is not a PNG"
[ "${header:32:16}" = "000000f00000010c" ] || fail "the snapshot is not 240 x 268"
[ "$(cat "$work/state/Quillo-SA/fp_win.txt" 2> /dev/null)" = "0 26 240 268" ] || fail "diagnostic file"
[ -d "$work/config/Quillo-SA" ] || fail "the settings folder was not made"
[ ! -e "$work/config/Quillo-SA/setting.txt" ] || fail "the end of the file saved the settings"

# "Exit" saves, then closes.
timeout 60 "$program" --headless --input "$work/tone.wav" --command 40025@5 2> "$work/err"
code=$?
[ "$code" -eq 0 ] || fail "Exit run exited $code: $(cat "$work/err")"
[ -s "$work/config/Quillo-SA/setting.txt" ] || fail "Exit did not save the settings"

exit $((failures > 0))
