#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/check-includes.sh on small trees of its own: a function declared in one unit's header
# and defined in another unit that includes it fails the check (the window host once defined
# the extras' PictureViewPoint so), the same function declared by the unit that defines it
# passes, and neither a helper of the same name in an anonymous namespace, a member, a
# declaration over several lines nor a folder header of operations (no source file beside it)
# counts as such a definition.
set -euo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-includes.sh"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
failures=0

# Writes a file of the tree: its path, then its lines.
put() {
  local file="$tree/$1"
  shift
  mkdir -p "$(dirname "$file")"
  printf '%s\n' "$@" >"$file"
}

expect() {
  local want="$1" what="$2" out code=0
  out="$(bash "$tree/scripts/check-includes.sh" 2>&1)" || code=$?
  if [ "$want" = pass ] && [ "$code" -ne 0 ]; then
    echo "FAIL: $what: the check failed:" >&2
    echo "$out" >&2
    failures=$((failures + 1))
  elif [ "$want" != pass ] && { [ "$code" -ne 1 ] || ! grep -qF "$want" <<<"$out"; }; then
    echo "FAIL: $what: expected exit 1 with \"$want\", got $code:" >&2
    echo "$out" >&2
    failures=$((failures + 1))
  fi
}

mkdir -p "$tree/scripts"
cp "$script" "$tree/scripts/"

# The extras call the host back through a point the host defines from the extras' header.
put platform/qt/extras.h '#pragma once' 'class QWidget;' '' \
  'void InstallExtras(QWidget* window);' \
  'bool ViewPoint(const QWidget* picture, int* x,' '               int* y);'
put platform/qt/extras.cpp '#include "platform/qt/extras.h"' '' \
  'void InstallExtras(QWidget* window) {' '    int x, y;' '    ViewPoint(window, &x, &y);' '}'
put platform/qt/host.h '#pragma once' 'void MakeWindow();'
put platform/qt/host.cpp '#include "platform/qt/host.h"' '' \
  '#include "platform/qt/extras.h"' '' 'namespace {' '' 'int Scale() {' '    return 2;' '}' '' \
  '}  // namespace' '' \
  'bool ViewPoint(const QWidget*, int* x,' '               int* y) {' '    *x = *y = Scale();' \
  '    return true;' '}' '' 'void MakeWindow() {' '    InstallExtras(nullptr);' '}'
expect "ViewPoint: declared in platform/qt/extras.h, defined in platform/qt/host.cpp" \
  "a definition of another unit's declaration"

# Declared by the unit that defines it (the picture a lower unit both use): no back-call.
put platform/qt/extras.h '#pragma once' 'class QWidget;' '' 'void InstallExtras(QWidget* window);'
put platform/qt/picture.h '#pragma once' 'class QWidget;' '' \
  'bool ViewPoint(const QWidget* picture, int* x,' '               int* y);'
put platform/qt/picture.cpp '#include "platform/qt/picture.h"' '' \
  'bool ViewPoint(const QWidget*, int* x,' '               int* y) {' '    *x = *y = 1;' \
  '    return true;' '}'
put platform/qt/extras.cpp '#include "platform/qt/extras.h"' '' \
  '#include "platform/qt/picture.h"' '' \
  'void InstallExtras(QWidget* window) {' '    int x, y;' '    ViewPoint(window, &x, &y);' '}'
put platform/qt/host.cpp '#include "platform/qt/host.h"' '' '#include "platform/qt/extras.h"' \
  '#include "platform/qt/picture.h"' '' 'void MakeWindow() {' '    InstallExtras(nullptr);' '}'
expect pass "the point declared by the unit that defines it"

# Same names that are other functions, and a folder header of operations.
put platform/qt/widget.h '#pragma once' 'class Widget {' '  public:' \
  '    bool ViewPoint(int* x, int* y);' '};'
put platform/qt/widget.cpp '#include "platform/qt/widget.h"' '' '#include "platform/qt/extras.h"' \
  '#include "platform/qt/picture.h"' '' 'namespace {' '' 'void InstallExtras(int) {}' '' '}  // namespace' '' \
  'static bool ViewPoint(int*) {' '    return false;' '}' '' \
  'bool Widget::ViewPoint(int* x, int* y) {' '    return false;' '}'
put shell/host_ops.h '#pragma once' 'void ShowBox(const char* text);'
put platform/qt/box.cpp '#include "shell/host_ops.h"' '' 'void ShowBox(const char*) {}'
expect pass "helpers, members and a folder header's operations"

# The two older rules still hold in the same tree.
put shell/up.cpp '#include "platform/qt/host.h"'
expect "the core includes the platform or the program" "an include up from the core"
rm "$tree/shell/up.cpp"
put platform/qt/picture.cpp '#include "platform/qt/picture.h"' '#include "platform/qt/extras.h"'
expect "files include each other in a loop" "an include loop"

[ "$failures" -eq 0 ] || exit 1
echo "check-includes: all cases as expected"
