#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package: the program in Release, installed to /usr, with Debian's
# hardening flags, packaged by `cpack -G DEB`; prints the package's path on the last line.
# Install it with `sudo apt-get install ./build-package/quillo-sa_*.deb`.
# QUILLO_PACKAGE_BUILD_DIR names another build folder (default build-package).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# dpkg-shlibdeps (dpkg-dev) computes the package's dependencies from the program's libraries.
if ! command -v dpkg-shlibdeps > /dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dpkg-dev
fi
build=${QUILLO_PACKAGE_BUILD_DIR:-build-package}

# Debian's flags for a package (stack protector, fortified functions, full RELRO); Release
# keeps its own optimisation after them, and the symbols are stripped from the package.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1" | sed -E 's/(^| )-g( |$)/ /g'; }
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON > "$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
# Only the program: the tests are not packaged, and cpack builds nothing itself.
cmake --build "$build" -j "$(nproc)" --target quillo-sa
rm -f "$build"/quillo-sa_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/quillo-sa_*.deb
