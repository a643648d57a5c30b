#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs the whole test suite.
#   scripts/test.sh            plain build (build/)
#   scripts/test.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer (build-sanitize/)
#   scripts/test.sh tsan       ThreadSanitizer, the threaded capture tests (build-tsan/)
#   scripts/test.sh clang      the plain build with clang instead of GCC (build-clang/)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
variant="${1:-plain}"
jobs="$(nproc)"
case "$variant" in
  plain)    dir=build;          flags=(-DQUILLO_BENCH=ON);                   filter=() ;;
  sanitize) dir=build-sanitize; flags=(-DQUILLO_SANITIZE=ON);  filter=() ;;
  tsan)     dir=build-tsan;     flags=(-DQUILLO_TSAN=ON);      filter=(-L threads) ;;
  clang)    dir=build-clang;    flags=(-DQUILLO_BENCH=ON);     filter=()
            export CC=clang CXX=clang++ ;;
  *) echo "usage: scripts/test.sh [plain|sanitize|tsan|clang]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" > /dev/null
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${filter[@]}"
