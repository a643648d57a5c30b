#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails on a tracked source file that does not start with the licence's SPDX line (CI).
exec "$(dirname "$0")/add-spdx.sh" --check
