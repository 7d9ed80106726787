#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Win32 serial backend's test program under Wine, its COM ports mapped to pseudo-terminals
# (COM1 the peer's echo line, COM2 the simulated unit, COM3 a missing device; see
# sio_win32_test.cpp), the prefix made once in WORK_DIR (wine_prefix.sh):
#   run_wine.sh TEST_EXE PTY_PEER_PY UNIT_SIM WORK_DIR     Exit 77 (skipped) without Wine or TEST_EXE.
set -euo pipefail
exe="$1" peer="$2" sim="$3" work="$4"
shift 4
if ! command -v wineserver >/dev/null || [ ! -f "$exe" ]; then
  echo "needs wine and wine64, and for $exe g++-mingw-w64-x86-64-posix and googletest's sources"
  exit 77
fi

source "$(dirname "$0")/wine_prefix.sh"
ondo_wine_prefix "$work"
unset DISPLAY WAYLAND_DISPLAY
run="$(mktemp -d "$work/run.XXXXXX")"
trap 'set +e; { kill $(jobs -p); wineserver -k; } &>/dev/null; rm -rf "$run"' EXIT

# The peer's echo line on COM1, the simulated unit with a version of this run on COM2.
python3 "$peer" "$run" </dev/null &
version="$(printf '%04d' $((RANDOM % 10000)))"
"$sim" --firmware "$version" --path-file "$run/unit.path" </dev/null >/dev/null &
for _ in $(seq 100); do
  [ -s "$run/port" ] && [ -s "$run/unit.path" ] && break
  sleep 0.1
done
ln -sfn "$(head -n 1 "$run/port")" "$work/com1"
ln -sfn "$(head -n 1 "$run/unit.path")" "$work/com2"
ln -sfn "$run/no-such-device" "$work/com3"
ONDO_WINE_PEER_DIR="$run" ONDO_WINE_SIM_VERSION="$version" wine "$exe" "$@" </dev/null
