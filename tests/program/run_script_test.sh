#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/run.sh as a user meets it: on an up-to-date build it prints nothing of the build
# (only what the program prints; --version prints the version alone), and a build that fails shows its log and ends with 1.
#   run_script_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QUILLO_DEPS_INSTALLED=1
unset DISPLAY WAYLAND_DISPLAY
fail() { echo "FAIL: $*" >&2; exit 1; }

# Up to date (ctest runs after the build): the program's own words alone. A source edited
# since would make run.sh rebuild this very build while other tests run its program: skipped.
if [ -n "$(cd "$source_dir" && find CMakeLists.txt program platform shell capture analysis \
            views raster resources -newer "$build_dir/program/quillo-sa" -type f -print -quit)" ]; then
  echo "skipped: sources changed after the build"
  exit 77
fi
QUILLO_RUN_BUILD_DIR=$build_dir "$source_dir/scripts/run.sh" --version \
  > "$scratch/out" 2> "$scratch/err" || fail "run.sh --version ended with $?: $(cat "$scratch/err")"
grep -q '^quillo-sa ' "$scratch/out" || fail "no version printed: $(cat "$scratch/out")"
# Only the version: no headless run, so no word of one nor of a snapshot.
[ "$(cat "$scratch/out" "$scratch/err")" = "$(head -1 "$scratch/out")" ] ||
  fail "more than the version: $(cat "$scratch/out" "$scratch/err")"
if grep -qiE 'built target|scanning|building|%\]|-- ' "$scratch/out" "$scratch/err"; then
  fail "build output on an up-to-date build: $(cat "$scratch/out" "$scratch/err")"
fi

# A build that cannot run: its log is shown and the script fails without starting anything.
broken=$scratch/broken
mkdir -p "$broken"
echo "this is not a CMake cache" > "$broken/CMakeCache.txt"
code=0
QUILLO_RUN_BUILD_DIR=$broken "$source_dir/scripts/run.sh" --version \
  > "$scratch/out" 2> "$scratch/err" || code=$?
[ "$code" = 1 ] || fail "a failed build ended with $code"
grep -q 'The build failed' "$scratch/err" || fail "no word of the failure: $(cat "$scratch/err")"
[ "$(wc -l < "$scratch/err")" -gt 1 ] || fail "no build log shown"
grep -q '^quillo-sa ' "$scratch/out" && fail "the program ran after a failed build"
echo "ok"
