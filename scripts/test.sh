#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs the whole test suite.
#   scripts/test.sh            plain build by GCC, with the benchmarks (build/)
#   scripts/test.sh sanitize   built by clang, under AddressSanitizer and
#                              UndefinedBehaviorSanitizer (build-sanitize/): the gate builds
#                              with both compilers without a build of its own for each
#   scripts/test.sh tsan       ThreadSanitizer: only the threaded test programs, their
#                              `threads` cases (build-tsan/)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
variant="${1:-plain}"
jobs="$(nproc)"
target=all
# Line tables only (-g1): enough for the sanitizers' and a debugger's backtraces, and a
# quarter less compile time than full debug information.
case "$variant" in
  plain)    dir=build;          flags=(-DQUILLO_BENCH=ON);     filter=() ;;
  sanitize) dir=build-sanitize; flags=(-DQUILLO_SANITIZE=ON);  filter=()
            export CC=clang CXX=clang++ ;;
  tsan)     dir=build-tsan;     flags=(-DQUILLO_TSAN=ON);      filter=(-L threads)
            target=quillo_threads_tests ;;
  *) echo "usage: scripts/test.sh [plain|sanitize|tsan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" "${flags[@]}" > /dev/null
cmake --build "$dir" -j "$jobs" --target "$target"
# Most tests spend their time waiting (for an X server, a sound server, a program they run):
# twice as many at once as there are cores keeps the cores busy.
ctest --test-dir "$dir" --output-on-failure -j "$((jobs * 2))" "${filter[@]}"
