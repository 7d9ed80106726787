#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest; then builds the programs
# again with the address and undefined-behaviour sanitizers into build-asan/ and runs the engine,
# serial and end-to-end tests there (labels engine, serial, e2e): the end-to-end table runs the
# sanitized utility and simulated unit through every outcome. The window's tests, the soak, the
# fuzz run (it builds its own sanitized target) and the MinGW compile check run in the first
# pass only. First of all the layout of every C++ file is checked against .clang-format. Either
# pass, or the layout check, failing fails the script. The last lines are ctest's summary of the
# sanitized pass.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
ondo_install
status=0
ondo_format_check || status=1
ondo_build
# Three tests at a time on two cores: most of them wait on a line paced at 19,200 bit/s.
(cd "$ONDO_BUILD" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j3 --timeout 600) ||
  status=1
ondo_build_sanitized
ondo_sanitizer_env
(cd "$ONDO_BUILD_ASAN" &&
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j3 --timeout 900 -L 'engine|serial|e2e') ||
  status=1
exit "$status"
