#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence's SPDX line first in every tracked source file that lacks it (after a
# "#!" line): "// SPDX-License-Identifier: GPL-3.0-or-later" in C++, the same after "#" in
# shell, Python and CMake files. Running it again changes nothing.
#   add-spdx.sh           add the line where it is missing
#   add-spdx.sh --check   change nothing; list the files without it and fail if there are any
set -euo pipefail
cd "$(dirname "$0")/.."
identifier="SPDX-License-Identifier: GPL-3.0-or-later"
check=no
[ "${1:-}" = --check ] && check=yes

# The comment that starts a line in FILE, or nothing when FILE is not a source file.
comment_of() {
  case $1 in
    *.cpp | *.cc | *.c | *.h | *.hpp | *.inc) echo "//" ;;
    *.sh | *.py | *.cmake | */CMakeLists.txt | CMakeLists.txt | *.bash-completion) echo "#" ;;
    *) [ "$(head -c 2 "$1")" = "#!" ] && echo "#" ;;
  esac
  return 0
}

missing=0
while IFS= read -r -d '' file; do
  [ -f "$file" ] && [ ! -L "$file" ] || continue
  comment=$(comment_of "$file")
  [ -n "$comment" ] || continue
  line="$comment $identifier"
  shebang=no
  [ "$(head -c 2 "$file")" = "#!" ] && shebang=yes
  if [ $shebang = yes ]; then
    [ "$(sed -n 2p "$file")" = "$line" ] && continue
  else
    [ "$(sed -n 1p "$file")" = "$line" ] && continue
  fi
  if [ $check = yes ]; then
    echo "no SPDX line: $file" >&2
    missing=$((missing + 1))
  elif [ ! -s "$file" ]; then
    printf '%s\n' "$line" > "$file"
  elif [ $shebang = yes ]; then
    sed -i "1a\\$line" "$file"
  else
    sed -i "1i\\$line" "$file"
  fi
done < <(git ls-files -z)
if [ $missing -gt 0 ]; then
  echo "$missing tracked source files lack the line \"$identifier\" (scripts/add-spdx.sh adds it)" >&2
  exit 1
fi
