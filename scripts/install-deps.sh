#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that the build, the tests and the program need (the ALSA
# plugins let PortAudio reach PulseAudio and PipeWire on a desktop).
# Does nothing when they are all present; uses sudo when not run as root.
set -euo pipefail
# CI installs once and says so; every later script then skips the check.
[ "${QUILLO_DEPS_INSTALLED:-}" = 1 ] && exit 0
packages=(
  build-essential cmake pkg-config
  libgtest-dev libbenchmark-dev
  qt6-base-dev libxcb-render0-dev libpulse-dev portaudio19-dev libsndfile1-dev libsamplerate0-dev libfftw3-dev
  libasound2-plugins sox libsox-fmt-mp3 xvfb xdotool imagemagick python3 desktop-file-utils
  pulseaudio pulseaudio-utils
  clang libclang-rt-14-dev
  appstream man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
