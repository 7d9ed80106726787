#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/installed-window.png: under Xvfb, an application menu built from the installed
# desktop entries and their icons (jgmenu's), the program started from its entry there (typed
# into the menu's search, Return: the entry's Exec line runs), then the menu opened again at the
# entry's category beside the window. Needs the package installed:
#   sudo apt-get install ./dist/ondo-flash_VERSION_amd64.deb && scripts/screenshot-installed.sh [OUT.png]
set -euo pipefail
entry=/usr/share/applications/io.github.ondo_flash.OndoFlash.desktop
if [ "${1:-}" = "--inside" ]; then
  source "$(dirname "$0")/setup.sh"
  rc="$2" out="$3" category="$(sed -n 's/^Categories=\([^;]*\);.*/\1/p' "$entry")"
  # The category's row among those the menu shows (the ones with an entry), from 0.
  row="$(/usr/lib/jgmenu/jgmenu-apps | awk -F, -v want="$category" '
    /checkout\(apps-dir-/ { order[n++] = $1; next }
    /^\^tag\(apps-dir-/ { tag = substr($0, 15, length($0) - 15); next }
    NF > 1 && tag != "" { used[tag] = 1 }
    END { for (i = 0; i < n; i++) if (used[order[i]]) { if (order[i] == want) print k; k++ } }')"
  jgmenu --config-file="$rc" & menu=$!
  sleep 2 && xdotool type --delay 100 "Ondo FLASH" && sleep 0.5 && xdotool key Return
  window="$(ondo_await_window "Ondo FLASH utility")"
  [ -n "$window" ] || { echo "the window did not open from the menu"; exit 1; }
  kill "$menu" && wait "$menu" || true  # the menu stays, hidden, after it started a program
  sleep 1 && xdotool windowmove "$window" 500 150 && sleep 0.5
  jgmenu --config-file="$rc" & menu=$!
  sleep 2 && xdotool key --delay 200 $(printf 'Down %.0s' $(seq "$row")) Right && sleep 1
  import -window root "$out"
  kill "$menu" "$(xdotool getwindowpid "$window")"
  exit 0
fi
source "$(dirname "$0")/setup.sh"
out="$(realpath -m "${1:-$ONDO_ROOT/docs/installed-window.png}")"
[ -f "$entry" ] || { echo "ondo-flash is not installed: sudo apt-get install ./dist/ondo-flash_*.deb"; exit 1; }
ondo_install
home="$(mktemp -d)" && trap 'rm -rf "$home"' EXIT
printf '%s\n' 'position_mode = fixed' 'menu_margin_x = 10' 'menu_margin_y = 10' 'menu_valign = top' \
  'icon_theme = hicolor' 'icon_size = 24' 'csv_cmd = apps' 'menu_border = 1' \
  'color_menu_bg = #2b303b 100' 'color_menu_border = #eeeeee 100' >"$home/jgmenurc"
HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home" LC_ALL=C.UTF-8 \
  timeout 120 xvfb-run -a -s "-screen 0 900x560x24" "$ONDO_ROOT/scripts/screenshot-installed.sh" --inside "$home/jgmenurc" "$out"
echo "$out"
