#!/usr/bin/env bash
# Runs the Win32 serial backend's test program under Wine, its COM ports mapped to
# pseudo-terminals (see sio_win32_test.cpp):   run_wine.sh TEST_EXE PTY_PEER UNIT_SIM WORK_DIR
# The Wine prefix is made once in WORK_DIR/wineprefix; the map goes to HKLM\Software\Wine\Ports.
# Exit 77 (skipped) when Wine or the test program is missing.
set -euo pipefail
exe="$1" peer="$2" sim="$3" work="$4"
shift 4

if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
  echo "wine not found: install wine and wine64 (scripts/setup.sh does) to run this check"
  exit 77
fi
if [ ! -f "$exe" ]; then
  echo "$exe was not built: it needs the MinGW cross compiler (g++-mingw-w64-x86-64-posix)" \
    "and GoogleTest's sources in /usr/src/googletest (googletest)"
  exit 77
fi

mkdir -p "$work"
export WINEPREFIX="$work/wineprefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask for a window.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

run="$(mktemp -d "$work/run.XXXXXX")"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$run"
}
trap cleanup EXIT

started=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "making the Wine prefix $WINEPREFIX (once)"
  wineboot -i </dev/null >"$work/wineboot.log" 2>&1 || {
    cat "$work/wineboot.log"
    exit 1
  }
  wineserver -w
  echo "prefix made in $((SECONDS - started)) s"
fi

# The far end of COM1 and COM2, and the simulated unit on COM3 with a version of this run.
"$peer" "$run" </dev/null &
pids+=($!)
version="$(printf '%04d' $((RANDOM % 10000)))"
"$sim" --version "$version" --path-file "$run/unit.path" </dev/null >/dev/null &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$run/ports" ] && [ -s "$run/unit.path" ] && break
  sleep 0.1
done
hex="$(awk '$1 == "hex" {print $2}' "$run/ports")"
unhex="$(awk '$1 == "unhex" {print $2}' "$run/ports")"
unit="$(head -n 1 "$run/unit.path")"
if [ -z "$hex" ] || [ -z "$unhex" ] || [ -z "$unit" ]; then
  echo "the pseudo-terminals did not come up"
  exit 1
fi
echo "COM1 $hex (hex), COM2 $unhex (unhex), COM3 $unit (ondo-unit-sim $version)," \
  "COM4 $run/no-such-device"

cat >"$run/ports.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$hex"
"COM2"="$unhex"
"COM3"="$unit"
"COM4"="$run/no-such-device"
REG
wine reg import "$(printf 'Z:%s' "$run/ports.reg" | tr / '\\')" </dev/null >"$run/reg.log" 2>&1 || {
  cat "$run/reg.log"
  exit 1
}
wineserver -k >/dev/null 2>&1  # the prefix takes the new map when it starts again

set +e
ONDO_WINE_PEER_DIR="$run" ONDO_WINE_SIM_VERSION="$version" wine "$exe" "$@" </dev/null
status=$?
set -e
echo "Wine run took $((SECONDS - started)) s"
exit "$status"
