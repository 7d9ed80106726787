#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The ondo-flash installed in PREFIX on its own: --version, check of an installed sample, a whole
# demo update (the simulated unit and sample found relative to the program).   installed_run.sh PREFIX
set -euo pipefail
fail() { echo "FAIL: $*"; exit 1; }
"$1/bin/ondo-flash" --version | grep -q '^ondo-flash Rev ' || fail "--version"
"$1/bin/ondo-flash" check "$1/share/ondo-flash/samples/demo-AlaR.HXF" >/dev/null 2>&1 || fail "check"
log="$(XDG_CONFIG_HOME="$(mktemp -d)" "$1/bin/ondo-flash" flash --demo --yes 2>&1)" || fail "flash --demo: $log"
grep -q 'Flash and EEPROM Programming complete' <<<"$log" || fail "flash --demo: $log"
