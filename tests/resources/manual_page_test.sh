#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual page renders without a warning (as lintian renders it) and documents every
# option and command id that the program's --help lists (read as the bash completion reads
# them).
#   manual_page_test.sh PROGRAM MANUAL_PAGE COMPLETION_FILE
set -euo pipefail
program=$1
page=$2
# shellcheck source=/dev/null
source "$3"
fail() { echo "FAIL: $*" >&2; exit 1; }

warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
             "$page" 2>&1 > /dev/null)
[ -z "$warnings" ] || fail "man warns: $warnings"

text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null | tr -s ' \n' ' ')
options=$(_quillo_sa_options "$program" || true)
commands=$(_quillo_sa_commands "$program" || true)
grep -qx -- --help <<<"$options" && grep -qx 40025@ <<<"$commands" ||
  fail "no options or commands read from $program --help"
missing=()
while read -r option; do
  grep -qF -- " $option" <<<" $text" || missing+=("$option")
done <<<"$options"
while read -r id; do
  grep -qE -- "(^| )${id%@} [A-Za-z]" <<<"$text" || missing+=("command ${id%@}")
done <<<"$commands"
[ ${#missing[@]} -eq 0 ] || fail "the manual page does not name: ${missing[*]}"
echo ok
