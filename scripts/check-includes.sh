#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every include points down: no file of the portable core includes platform/ or
# program/, no two units (a header with its source file) include each other, directly or
# through others, and no unit defines a function that another unit's header declares while
# including that header (a call back into it that the includes do not show). Prints what is
# wrong and exits with 1; silent and 0 when all is well.
set -euo pipefail
cd "$(dirname "$0")/.."

core=(analysis raster capture views shell fullview resources)
present=()  # the core's folders that exist
for folder in "${core[@]}"; do
  [ -d "$folder" ] && present+=("$folder")
done
units=("${present[@]}")
for folder in platform program; do
  [ -d "$folder" ] && units+=("$folder")
done
status=0

# A core file that reaches up into the platform or the program.
if [ "${#present[@]}" -gt 0 ] &&
  upward="$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(platform|program)/' \
    "${present[@]}")"; then
  echo "check-includes: the core includes the platform or the program:" >&2
  echo "$upward" >&2
  status=1
fi

# The graph of units: a.h and a.cpp are one node "a"; an include of b.h is an edge a -> b.
# tsort reports every loop it finds on stderr.
edges="$(
  find "${units[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 |
    while IFS= read -r -d '' file; do
      from="${file%.*}"
      sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)\.(h|inc)".*/\1/p' "$file" |
        while IFS= read -r to; do
          [ "$to" = "$from" ] || echo "$from $to"
        done
    done
)"
if ! loops="$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null)" || [ -n "$loops" ]; then
  echo "check-includes: files include each other in a loop:" >&2
  echo "$loops" >&2
  status=1
fi

# Functions declared in a unit's header (one with a source file beside it) and defined in
# another unit that includes it. Both sides are read at the top level only, as clang-format
# leaves it: lines that start in column 0, outside any namespace block (whose end it marks
# "}  // namespace"); `static` definitions, members (A::B) and declarations ending in ";" are
# not definitions.
toplevel_names='
  FNR == 1 { inside = 0 }
  /^namespace([[:space:]]+[A-Za-z_][A-Za-z0-9_]*)?[[:space:]]*\{/ { inside = 1; next }
  /^}[[:space:]]*\/\/ namespace/ { inside = 0; next }
  pending != "" {
    if ($0 ~ /\{[[:space:]]*(\/\/.*)?$/) { print pending; pending = "" }
    else if ($0 ~ /;/) pending = ""
    next
  }
  inside || !/^[A-Za-z_]/ || /^(static|using|typedef|class|struct|enum|union|namespace|return|extern|friend|template|#)/ { next }
  match($0, /[A-Za-z_][A-Za-z0-9_]*\(/) {
    name = substr($0, RSTART, RLENGTH - 1)
    before = substr($0, 1, RSTART - 1)
    if (before !~ /[A-Za-z0-9_>][[:space:]*&]+$/ || before ~ /[=:]/ || name == "operator") next
    found = name " " FILENAME
    if (mode == "declared") { print found; next }
    rest = substr($0, RSTART)
    if (rest ~ /\{[[:space:]]*(\/\/.*)?$/) print found
    else if (rest !~ /;/) pending = found
  }
'
declared="$(
  find "${units[@]}" -type f -name '*.h' -print0 |
    while IFS= read -r -d '' header; do
      [ -f "${header%.h}.cpp" ] && printf '%s\0' "$header"
    done |
    xargs -0 -r awk -v mode=declared "$toplevel_names" | sort -u
)"
defined="$(
  find "${units[@]}" -type f -name '*.cpp' -print0 |
    xargs -0 -r awk -v mode=defined "$toplevel_names" | sort -u
)"
hidden="$(
  join <(printf '%s\n' "$declared") <(printf '%s\n' "$defined") |
    while read -r name header source; do
      [ "${header%.h}" = "${source%.cpp}" ] && continue
      # The defining unit includes the header, from its source file or its own header.
      if grep -qsE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"$header\"" \
        "$source" "${source%.cpp}.h"; then
        echo "$name: declared in $header, defined in $source, which includes it"
      fi
    done
)"
if [ -n "$hidden" ]; then
  echo "check-includes: a unit defines what another unit's header declares:" >&2
  echo "$hidden" >&2
  status=1
fi
exit "$status"
