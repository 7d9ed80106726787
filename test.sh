#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test through ctest; then builds the programs
# again with the address and undefined-behaviour sanitizers, and without the window
# (ONDO_BUILD_GUI=OFF: no Qt Gui or Widgets found or linked), into build-asan/ and runs the
# engine, serial and end-to-end tests there (labels engine, serial, e2e) and the check of that
# build itself (label cli-only): the end-to-end table runs the sanitized command line and
# simulated unit through every outcome. The window's tests, the soak, the fuzz run (it builds its
# own sanitized target) and the Windows checks run in the first pass only. First of all come
# three checks of the sources: the layout of every C++ file against .clang-format, no Qt Gui or
# Widgets header included outside src/window/, and the licence's SPDX line at the top of every
# source file. Either pass, or one of these checks, failing fails the script. The last lines are
# ctest's summary of the sanitized pass.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
ondo_install
status=0
ondo_format_check || status=1
ondo_include_check || status=1
ondo_licence_check || status=1
# The Windows programs are tested under Wine where Qt for Windows is in the cache, or always with
# ONDO_WINDOWS=1 (.ci/run), which builds it first when it is missing (some 30 to 40 minutes).
windows=""
if [ "${ONDO_WINDOWS:-}" = 1 ] || "$ONDO_ROOT/scripts/build-qt-windows.sh" --check >/dev/null 2>&1; then
  ondo_build_windows "$ONDO_ROOT/build-win" >/dev/null
  windows="$ONDO_ROOT/build-win"
fi
ondo_build -DONDO_WINDOWS_BUILD="$windows"
# Three tests at a time on two cores: most of them wait on a line paced at 19,200 bit/s.
(cd "$ONDO_BUILD" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j3 --timeout 600) ||
  status=1
ondo_build_sanitized
ondo_sanitizer_env
(cd "$ONDO_BUILD_ASAN" &&
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j3 --timeout 900 -L 'engine|serial|e2e|cli-only') ||
  status=1
if [ -z "$windows" ]; then
  echo "The Windows program's tests under Wine were left out: Qt for Windows is not in the cache."
  echo "ONDO_WINDOWS=1 ./test.sh builds it first (some 30 to 40 minutes on two cores) and runs them."
fi
exit "$status"
