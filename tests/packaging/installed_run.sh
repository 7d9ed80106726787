#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An installed ondo-flash in PREFIX on its own: its version, a check of an installed sample and
# a whole demo update against the installed simulated unit (found relative to the program).
#   installed_run.sh PREFIX
set -euo pipefail
bin="$1/bin"
fail() { echo "FAIL: $*"; exit 1; }
"$bin/ondo-flash" --version | grep -q '^ondo-flash Rev ' || fail "--version"
"$bin/ondo-flash" check "$1/share/ondo-flash/samples/demo-AlaR.HXF" >/dev/null 2>&1 || fail "check"
log="$(XDG_CONFIG_HOME="$(mktemp -d)" "$bin/ondo-flash" flash --demo --yes 2>&1)" || fail "flash --demo: $log"
grep -q 'Flash and EEPROM Programming complete' <<<"$log" || fail "flash --demo: $log"
