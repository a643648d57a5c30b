#!/usr/bin/env bash
# Checks that every include points down: no file of the portable core includes platform/ or
# program/, and no two units (a header with its source file) include each other, directly
# or through others. Prints what is wrong and exits with 1; silent and 0 when all is well.
set -euo pipefail
cd "$(dirname "$0")/.."

core=(analysis raster capture views shell resources)
units=()
for folder in "${core[@]}" platform program; do
  [ -d "$folder" ] && units+=("$folder")
done
status=0

# A core file that reaches up into the platform or the program.
if upward="$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(platform|program)/' \
    "${units[@]:0:${#core[@]}}")"; then
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
exit "$status"
