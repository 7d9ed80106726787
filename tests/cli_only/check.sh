#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The build without the window (ONDO_BUILD_GUI=OFF), as a workshop box with no desktop gets it:
# neither Qt Gui nor Qt Widgets found by CMake or linked into the program; --version, check of a
# sample, and a start without a command refused with a pointer to the command line's help.
#   check.sh BUILD_DIR ONDO_FLASH SAMPLE_HXF
set -uo pipefail
build="$1" flash="$2" sample="$3"
fail() { echo "FAIL: $*"; exit 1; }

found="$(grep -E '^Qt6(Gui|Widgets)_DIR:PATH=' "$build/CMakeCache.txt" | grep -v NOTFOUND)"
[ -z "$found" ] || fail "CMake found $found"
needed="$(readelf -d "$flash" | grep NEEDED)"
grep -q 'libQt6Core' <<<"$needed" || fail "not linked with QtCore: $needed"
! grep -qE 'libQt6(Gui|Widgets)' <<<"$needed" || fail "linked with Qt Gui or Widgets: $needed"

version="$("$flash" --version)" || fail "--version exits $?"
grep -qxE 'ondo-flash Rev [0-9]+\.[0-9]+[a-z] \(version [0-9]+\.[0-9]+\.[0-9]+(, commit [0-9a-f]+(-dirty)?)?\)' \
  <<<"$version" || fail "--version printed: $version"
[ "$("$flash" -V)" = "$version" ] || fail "-V differs from --version"
report="$("$flash" check "$sample" 2>&1)" || fail "check exits $?: $report"
grep -q 'Read file OK' <<<"$report" || fail "check printed: $report"

refusal="$("$flash" 2>&1 >/dev/null)"
status=$?
[ "$status" -eq 2 ] || fail "a start without a command exits $status"
grep -q 'has no window' <<<"$refusal" && grep -q 'ondo-flash --help' <<<"$refusal" ||
  fail "a start without a command says: $refusal"
echo "a command line of its own: $version"
