#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CI: builds the Debian package (scripts/package.sh), checks it with lintian (no error) and
# appstreamcli, installs it with apt-get on this machine, runs the installed program
# (--version, a headless run of the installed demo with a pitch log, the help page), finds
# its manual page with man, then purges it and checks that none of its files is left.
# Needs root (or sudo); installs lintian, appstream, dpkg-dev and man-db when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
fail() { echo "package-test: $*" >&2; exit 1; }
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"; }

tools=(lintian appstream dpkg-dev man-db)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
fi

work=$(mktemp -d)
include=/etc/dpkg/dpkg.cfg.d/zz-quillo-sa-package-test
installed=no
cleanup() {
  # A failed check leaves no package behind either.
  [ $installed = no ] || apt_get purge -y -qq quillo-sa > /dev/null || true
  $sudo rm -f "$include"
  rm -rf "$work"
}
trap cleanup EXIT

deb=$(scripts/package.sh | tail -n 1)
[ -f "$deb" ] || fail "scripts/package.sh made no package"
echo "package-test: $deb"

# lintian: errors fail; warnings and notes are shown.
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"

# The package's version is the program's (the project's), with Debian's revision.
version=$(dpkg-deb -f "$deb" Version)
upstream=${version%-*}

# Minimal images leave out manual pages and documentation (dpkg's path-exclude); the
# package's own are let in, so that what is checked below is what a full system gets.
if grep -qs '^path-exclude' /etc/dpkg/dpkg.cfg.d/*; then
  printf '%s\n' 'path-include=/usr/share/man/man1/quillo-sa.1.gz' \
    'path-include=/usr/share/doc/quillo-sa/*' | $sudo tee "$include" > /dev/null
fi

# A copy left by an earlier run would hide what this install puts in place.
if dpkg-query -W -f='${Status}' quillo-sa 2>/dev/null | grep -q "ok installed"; then
  apt_get purge -y -qq quillo-sa > /dev/null
fi
installed=yes
apt_get install -y -qq "$(realpath "$deb")" > /dev/null
dpkg-query -L quillo-sa | sort > "$work/files"
# Every path of the package is on the disk (dpkg lists even those that it left out).
while IFS= read -r path; do
  [ -e "$path" ] || fail "not installed: $path"
done < <(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|')

appstreamcli validate --no-net /usr/share/metainfo/io.github.quillo_sa.QuilloSA.metainfo.xml ||
  fail "appstreamcli validate failed"

[ "$(quillo-sa --version)" = "quillo-sa $upstream" ] ||
  fail "quillo-sa --version prints '$(quillo-sa --version)', the package is $version"

# The installed demo, headless, with settings and state folders of its own.
demo=/usr/share/quillo-sa/demo.flac
[ -f "$demo" ] || fail "no demo at $demo"
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$work/runtime"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY \
  quillo-sa --headless --input "$demo" --pitch-log "$work/pitch.csv" --command 40019@0 \
  2> "$work/stderr") || fail "the headless run failed: $(cat "$work/stderr")"
[ ! -s "$work/stderr" ] || fail "the headless run said: $(cat "$work/stderr")"
[ "$(head -n 1 "$work/pitch.csv")" = "time_s,frequency_hz,note,cents,lock" ] ||
  fail "the pitch log's header reads: $(head -n 1 "$work/pitch.csv")"
rows=$(($(wc -l < "$work/pitch.csv") - 1))
[ "$rows" -ge 300 ] || fail "the pitch log has $rows rows for 16 s of audio"
# The demo is an A major arpeggio from A3 (220 Hz): its first note is found and locked.
grep -qE '^[0-9.]+,2[12][0-9]\.[0-9]+,A,[-+][0-9]+,locked$' "$work/pitch.csv" ||
  fail "the pitch log never locks on A3"

page=$(man -w quillo-sa) || fail "man -w quillo-sa finds no manual page"
[ "$page" = /usr/share/man/man1/quillo-sa.1.gz ] || fail "man -w quillo-sa finds $page"
man quillo-sa 2>&1 | grep -q -- '--pitch-log' || fail "man quillo-sa shows no options"

apt_get purge -y -qq quillo-sa > /dev/null
installed=no
left=()
while IFS= read -r file; do
  # Folders that other packages share stay; every file of the package and its own folders go.
  if [ -e "$file" ] && { [ ! -d "$file" ] || [[ $file == */quillo-sa ]]; }; then
    left+=("$file")
  fi
done < "$work/files"
[ ${#left[@]} -eq 0 ] || fail "left after the purge: ${left[*]}"
! dpkg-query -W -f='${Status}' quillo-sa 2>/dev/null | grep -q "ok installed" ||
  fail "quillo-sa is still installed"
echo "package-test: ok ($version: lintian, appstreamcli, installed, ran, man page, purged)"
