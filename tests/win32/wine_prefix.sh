# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the Windows program's tests: ondo_wine_prefix WORK makes the Wine prefix
# WORK/wineprefix once, with COM1 to COM9 and COM12 mapped to the links WORK/com1 ... WORK/com12
# (a test points a link at its simulated unit's pseudo-terminal; Wine opens the link's target
# when the program opens the port, so no restart is needed). Exit 77 (skipped) without Wine.
ondo_wine_prefix() {
  local work="$1"
  command -v wineserver >/dev/null || { echo "needs wine and wine64"; exit 77; }
  mkdir -p "$work"
  export WINEPREFIX="$work/wineprefix" WINEARCH=win64 WINEDEBUG=-all
  # No Mono or Gecko: nothing here needs them, and their installers would ask for a window.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -f "$WINEPREFIX/ondo-ports" ]; then
    # A server of our own start, whose dump of every object at its exit stays out of the log.
    wineserver -p5 >>"$work/wineserver.log" 2>&1 </dev/null || true
    return 0
  fi
  (unset DISPLAY; wineboot -i </dev/null >"$work/wineboot.log" 2>&1) || { cat "$work/wineboot.log"; exit 1; }
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for n in 1 2 3 4 5 6 7 8 9 12; do printf '"COM%s"="%s/com%s"\n' "$n" "$work" "$n"; done
  } >"$work/ports.reg"
  wine reg import "$(ondo_wine_path "$work/ports.reg")" </dev/null >/dev/null 2>&1
  wineserver -k  # the prefix takes the new map when it starts again
  touch "$WINEPREFIX/ondo-ports"
  wineserver -p5 >>"$work/wineserver.log" 2>&1 </dev/null || true
}

# The Windows name of a file of this machine: its path on drive Z:, with backslashes.
ondo_wine_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}
