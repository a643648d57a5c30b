#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Quillo-SA in Release and starts it. Extra arguments go to the program; without an
# --input or --device of their own it plays the demo recording. Where there is no display
# it runs headless and writes a snapshot of the last picture, whose path it prints.
#
# Quiet when the build is up to date; one line while a build runs; the build's log only
# when it fails. QUILLO_RUN_BUILD_DIR names another build folder (default build-release).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${QUILLO_RUN_BUILD_DIR:-build-release}
program=$build/program/quillo-sa
log=$build/build.log
mkdir -p "$build"

build_program() {
  # Configured once; the build itself configures again when a CMake file changes.
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release || return 1
  fi
  cmake --build "$build" -j "$(nproc)" --target quillo-sa
}

# Up to date when no file the program is built from is newer than it: then not even make
# runs (its own check costs seconds).
changed() {
  [ -x "$program" ] || return 0
  [ -n "$(find CMakeLists.txt program platform shell capture analysis views raster resources \
            -newer "$program" -type f -print -quit)" ]
}

if changed; then
  if [ -x "$program" ]; then
    echo "Building Quillo-SA..." >&2
  else
    echo "Building Quillo-SA in $build (the first build takes a few minutes)..." >&2
  fi
  if ! build_program > "$log" 2>&1; then
    cat "$log" >&2
    echo "The build failed; its log is above and in $log." >&2
    exit 1
  fi
  touch "$program"  # a change that needed no relinking is not looked at again
fi

source_given=no
answers_only=no  # prints something and ends: no picture, no snapshot
for arg in "$@"; do
  case "$arg" in
    --input|--input=*|--device|--device=*) source_given=yes ;;
    --list-devices|--help|--version) source_given=yes answers_only=yes ;;
  esac
done
[ "$source_given" = yes ] || set -- --input resources/demo.flac "$@"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ "$answers_only" = yes ]; then
  exec "$program" "$@"
fi
snapshot="$(cd "$build" && pwd)/snapshot.png"
echo "No display: running headless." >&2
rm -f "$snapshot"  # a snapshot printed is this run's
"$program" --headless --snapshot "$snapshot" "$@"
if [ -f "$snapshot" ]; then echo "Snapshot: $snapshot"; fi
