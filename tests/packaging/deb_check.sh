#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, as root (CI on a fresh Debian 12): computed dependencies, no maintainer
# scripts, no lintian error; installed by apt-get, a demo update and the man page; purged, no file left.
set -euo pipefail
here="$(dirname "$0")" && fail() { echo "FAIL: $*"; exit 1; }
deb="$("$here/../../scripts/make-deb.sh" | tail -n 1)"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6 (>= ' || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
! dpkg-deb -I "$deb" | grep -qE ' (pre|post)(inst|rm) ' || fail "maintainer scripts in $deb"
lintian --fail-on error "$deb" 2>/dev/null || fail "lintian reports errors"
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >/dev/null && files="$(dpkg -L ondo-flash)"
"$here/installed_run.sh" /usr && man -w ondo-flash >/dev/null || fail "the installed program or its man page"
DEBIAN_FRONTEND=noninteractive apt-get purge -y ondo-flash >/dev/null
left="$(while read -r f; do [ ! -d "$f" ] && [ -e "$f" ] && echo "$f"; done <<<"$files" || true)"
[ -z "$left" ] && ! dpkg -s ondo-flash >/dev/null 2>&1 || fail "left after purge: $left"
echo "$(basename "$deb"): built, no lintian error, installed, ran a demo update, purged"
