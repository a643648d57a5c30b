#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion, called as bash calls it, against the built program (its --help gives
# the options and command ids) behind a stand-in that prints a fixed --list-devices.
#   completion_test.sh PROGRAM COMPLETION_FILE
set -uo pipefail
program=$1
completion=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin" "$work/files/sub folder"
cat > "$work/bin/quillo-sa" <<EOF
#!/usr/bin/env bash
if [ "\$1" = --list-devices ]; then
  printf '%s\n' 'Built-in Audio Analog Stereo [alsa_input.pci-0000_00_1f.3.analog-stereo] (default)' \
    'Monitor of Null Output [null.monitor] (monitor)' 'HDA Intel PCH: ALC892 Analog (hw:0,0)'
  exit 0
fi
exec "$program" "\$@"
EOF
chmod +x "$work/bin/quillo-sa"
touch "$work/files/tone.wav" "$work/files/Loud Song.FLAC" "$work/files/take:2.ogg" \
      "$work/files/notes.txt" "$work/files/picture.png"
PATH=$work/bin:$PATH
cd "$work/files" || exit 1
# shellcheck source=/dev/null
source "$completion"

# complete LINE: COMPREPLY for the command line LINE with the cursor at its end.
complete_line() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    COMP_WORDS=(quillo-sa)
    COMPREPLY=()
    _quillo_sa
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|'
}

expect() {
    local line=$1 wanted=$2 got
    got=$(complete_line "$line")
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: '$line' completes to '$got', expected '$wanted'" >&2
        failures=$((failures + 1))
    fi
}

# Options from --help; a prefix narrows them.
expect 'quillo-sa --pitch' '--pitch|--pitch-log'
expect 'quillo-sa --he' '--headless|--help'
expect 'quillo-sa -V' '-V'
# Files: audio by extension (any case), folders, nothing else.
expect 'quillo-sa --input ' 'Loud Song.FLAC|sub folder|take:2.ogg|tone.wav'
expect 'quillo-sa --input=t' 'take:2.ogg|tone.wav'
expect 'quillo-sa ' 'Loud Song.FLAC|sub folder|take:2.ogg|tone.wav'
expect 'quillo-sa --headless -- --p' ''
expect 'quillo-sa --input Loud\ S' 'Loud Song.FLAC'
# Bash puts the reply after the last ":" of the word.
expect 'quillo-sa take:' '2.ogg'
expect 'quillo-sa --snapshot ' 'picture.png|sub folder'
# Inputs by the name --device takes: the server's name in brackets, else the whole name.
expect 'quillo-sa --device ' \
  'HDA\ Intel\ PCH:\ ALC892\ Analog\ \(hw:0\,0\)|alsa_input.pci-0000_00_1f.3.analog-stereo|null.monitor'
expect 'quillo-sa --device nu' 'null.monitor'
expect 'quillo-sa --device HDA\ In' 'HDA\ Intel\ PCH:\ ALC892\ Analog\ \(hw:0\,0\)'
expect 'quillo-sa --device HDA\ Intel\ PCH:\ ALC892\ Analog\ \(hw:' '0\,0\)'
expect 'quillo-sa --device=null' 'null.monitor'
# Command ids from --help, each ready for its block count.
expect 'quillo-sa --command 4000' '40003@|40008@|40009@'
expect 'quillo-sa --command 1' '1202@|1203@|1205@|1206@|1207@|1208@|1@'
expect 'quillo-sa --headless --pitch ' 'accurate|classic'
expect 'quillo-sa --pitch=c' 'classic'
expect 'quillo-sa --oem-text ' ''

[ "$failures" -eq 0 ] || exit 1
echo ok
