#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The install rules on this build: the program, its help page and demo, the desktop entry
# that opens audio files, the icon in every size of the hicolor theme (PNG, each its size)
# beside the 48 x 48 XPM, the gzipped manual page, the AppStream file naming the entry, the
# bash completion, and the copyright and changelog in the package's documentation folder.
#   install_test.sh BUILD_DIR
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$prefix" > "$prefix.log" 2>&1 ||
  { cat "$prefix.log" >&2; rm -f "$prefix.log"; fail "cmake --install failed"; }
rm -f "$prefix.log"
share=$prefix/share
for file in bin/quillo-sa share/quillo-sa/Quillo-SA.htm share/quillo-sa/demo.flac \
            share/pixmaps/quillo-sa.xpm share/applications/quillo-sa.desktop \
            share/man/man1/quillo-sa.1.gz share/metainfo/io.github.quillo_sa.QuilloSA.metainfo.xml \
            share/bash-completion/completions/quillo-sa share/doc/quillo-sa/copyright \
            share/doc/quillo-sa/changelog.Debian.gz; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  icon=$share/icons/hicolor/${size}x${size}/apps/quillo-sa.png
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  # PNG signature, then the header: width, height, 8 bits, colour type 6 (RGBA).
  header=$(python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read(26)
print(d[:8] == b"\x89PNG\r\n\x1a\n", *struct.unpack(">IIBB", d[16:26]))' "$icon")
  [ "$header" = "True $size $size 8 6" ] || fail "the ${size}x${size} icon reads: $header"
done
entry=$share/applications/quillo-sa.desktop
grep -qE '^Exec=quillo-sa %f$' "$entry" || fail "the entry does not pass the file: $(grep ^Exec "$entry")"
grep -qE '^MimeType=(audio/[^;]+;)+$' "$entry" || fail "the entry opens no audio files"
grep -q 'audio/flac;' "$entry" && grep -q 'audio/x-wav;' "$entry" || fail "FLAC or WAV missing"
# The manual page and changelog as Debian wants them: maximum compression, no name or time.
for file in man/man1/quillo-sa.1.gz doc/quillo-sa/changelog.Debian.gz; do
  gzip -t "$share/$file" || fail "$file is not gzip"
  [ "$(od -An -tu4 -j4 -N4 "$share/$file" | tr -d ' ')" = 0 ] || fail "$file has a time stamp"
  [ "$(od -An -tu1 -j3 -N1 "$share/$file" | tr -d ' ')" = 0 ] || fail "$file has a name"
done
grep -qF '<launchable type="desktop-id">quillo-sa.desktop</launchable>' \
  "$share/metainfo/io.github.quillo_sa.QuilloSA.metainfo.xml" ||
  fail "the AppStream file does not name the installed desktop entry"
echo ok
