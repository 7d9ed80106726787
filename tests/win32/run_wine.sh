#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Win32 serial backend's test program under Wine, its COM ports mapped to pseudo-terminals
# in HKLM\Software\Wine\Ports (see sio_win32_test.cpp), the prefix made once in WORK_DIR:
#   run_wine.sh TEST_EXE PTY_PEER_PY UNIT_SIM WORK_DIR     Exit 77 (skipped) without Wine or TEST_EXE.
set -euo pipefail
exe="$1" peer="$2" sim="$3" work="$4"
shift 4
if ! command -v wineserver >/dev/null || [ ! -f "$exe" ]; then
  echo "needs wine and wine64, and for $exe g++-mingw-w64-x86-64-posix and googletest's sources"
  exit 77
fi

mkdir -p "$work"
export WINEPREFIX="$work/wineprefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask for a window.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
run="$(mktemp -d "$work/run.XXXXXX")"
trap 'set +e; { kill $(jobs -p); wineserver -k; } &>/dev/null; rm -rf "$run"' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then  # the first run only, about 45 s
  wineboot -i </dev/null >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
  wineserver -w
fi

# The peer's echo line on COM1, the simulated unit with a version of this run on COM2.
python3 "$peer" "$run" </dev/null &
version="$(printf '%04d' $((RANDOM % 10000)))"
"$sim" --firmware "$version" --path-file "$run/unit.path" </dev/null >/dev/null &
for _ in $(seq 100); do
  [ -s "$run/port" ] && [ -s "$run/unit.path" ] && break
  sleep 0.1
done
far=$(head -n 1 "$run/port") unit=$(head -n 1 "$run/unit.path")
cat >"$run/ports.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$far"
"COM2"="$unit"
"COM3"="$run/no-such-device"
REG
wine reg import "$(printf 'Z:%s' "$run/ports.reg" | tr / '\\')" </dev/null >"$run/log" 2>&1 ||
  { cat "$run/log"; exit 1; }
wineserver -k >/dev/null 2>&1  # the prefix takes the new map when it starts again; this server
wineserver -p5 >"$run/log" 2>&1  # keeps its dump of every object at exit out of the test's log
ONDO_WINE_PEER_DIR="$run" ONDO_WINE_SIM_VERSION="$version" wine "$exe" "$@" </dev/null
