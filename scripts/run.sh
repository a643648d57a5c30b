#!/usr/bin/env bash
# Builds Quillo-SA in Release and starts it. Extra arguments go to the program; without an
# --input or --device of their own it plays the demo recording. Where there is no display
# it runs headless and writes a snapshot of the last picture, whose path it prints.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-release -j "$(nproc)" --target quillo-sa
program=build-release/program/quillo-sa

source_given=no
for arg in "$@"; do
  case "$arg" in
    --input|--input=*|--device|--device=*|--list-devices|--help|--version) source_given=yes ;;
  esac
done
[ "$source_given" = yes ] || set -- --input resources/demo.flac "$@"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi
snapshot="$PWD/build-release/snapshot.png"
echo "No display: running headless." >&2
"$program" --headless --snapshot "$snapshot" "$@"
echo "Snapshot: $snapshot"
