#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The AppStream file validates (no network), and its newest release and the Debian
# changelog's newest entry are the version the program prints.
#   metainfo_test.sh PROGRAM METAINFO_FILE DEBIAN_CHANGELOG
set -euo pipefail
program=$1
metainfo=$2
changelog=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

appstreamcli validate --no-net "$metainfo" > /dev/null 2>&1 ||
  { appstreamcli validate --no-net "$metainfo" >&2; fail "appstreamcli validate failed"; }
version=$("$program" --version)
version=${version#quillo-sa }
release=$(grep -m1 -oE '<release version="[^"]+"' "$metainfo" | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "the metainfo's newest release is $release, the program $version"
entry=$(sed -nE '1s/^quillo-sa \(([^)-]+)-[0-9]+\).*/\1/p' "$changelog")
[ "$entry" = "$version" ] || fail "the changelog's newest entry is '$entry', the program $version"
echo ok
