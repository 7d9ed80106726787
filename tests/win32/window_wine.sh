#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window as the Windows program, under Wine and Xvfb, as an owner uses it: it opens with the
# port and firmware file the registry remembers (HKCU\Software\VB and VBA Program Settings\FLASH\
# Startup, put there with `wine reg add`; the file named with letters beyond ASCII), greets the
# unit on COM1, a click on Start runs a whole update to "Programming complete", the message box
# is answered with a click on OK, and the close writes the settings back to that key as strings.
# The unit then holds what the Linux program puts into a unit from the same file. A screenshot
# of the window with the box goes to WORK/window-windows.png.
#   window_wine.sh WORK WIN_BIN_DIR ONDO_UNIT_SIM ONDO_FLASH SAMPLE_HXF
set -uo pipefail
if [ "${1:-}" != "--inside" ]; then
  command -v xvfb-run >/dev/null || { echo "needs xvfb-run"; exit 77; }
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$@"
fi
shift
work="$1" bin="$2" sim="$3" flash="$4" sample="$5"
source "$(dirname "$0")/wine_prefix.sh"
ondo_wine_prefix "$work"
run="$(mktemp -d "$work/window.XXXXXX")"
trap 'kill $(jobs -p) 2>/dev/null; wine taskkill /f /im ondo-flash.exe >/dev/null 2>&1; rm -rf "$run"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
mkdir -p "$run/Grüße"
cp "$sample" "$run/Grüße/fw.HXF"
key='HKCU\Software\VB and VBA Program Settings\FLASH\Startup'
file="$(ondo_wine_path "$run/Grüße/fw.HXF")"
export LC_ALL=C.UTF-8
"$sim" --link "$run/unit" --control "$run/control" --ack "$run/ack" --dump "$run/unit" \
  --stats "$run/stats" </dev/null >/dev/null &
"$sim" --link "$run/linux" --control "$run/lcontrol" --ack "$run/lack" --dump "$run/linux" \
  </dev/null >/dev/null &
for _ in $(seq 50); do [ -e "$run/unit" ] && [ -e "$run/linux" ] && break; sleep 0.1; done
ln -sfn "$run/unit" "$work/com1"
control() {  # a control command to a unit, carried out when its acknowledgement is there
  local n=$(( $(cat "$run/$1ack" 2>/dev/null | wc -l) + 1 ))
  echo "$2" >"$run/${1}control"
  for _ in $(seq 50); do [ "$(wc -l <"$run/$1ack" 2>/dev/null)" -ge "$n" ] && return 0; sleep 0.1; done
  return 1
}
wine reg delete "$key" /f >/dev/null 2>&1
wine reg add "$key" /v port /d COM1 /f >/dev/null 2>&1 && wine reg add "$key" /v flashFile /d "$file" /f \
  >/dev/null 2>&1 || fail "reg add"

wine "$bin/ondo-flash.exe" </dev/null >"$run/exe.log" 2>&1 &
# A window of this name within the given tenths of a second: its id, or nothing.
await() {
  for _ in $(seq "$2"); do xdotool search --name "$1" 2>/dev/null | head -n 1 | grep . && return; sleep 0.1; done
}
window="$(await '^Ondo FLASH utility - Rev ' 300)"
[ -n "$window" ] || fail "the window did not open"
for _ in $(seq 50); do control "" dump && grep -q '^bytes_to_host [1-9]' "$run/stats" && break; sleep 0.2; done
grep -q '^bytes_to_host [1-9]' "$run/stats" || fail "the unit on COM1 was not greeted"
xdotool mousemove --window "$window" 260 116 click 1  # Start, where the layout puts it
box="$(await '^Programming complete$' 600)"
[ -n "$box" ] || fail "no \"Programming complete\" box"
sleep 0.5
import -window root -crop 400x420+0+0 "$work/window-windows.png"
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove --window "$box" $((WIDTH - 49)) $((HEIGHT - 15)) click 1  # OK
for _ in $(seq 100); do xdotool search --name '^Programming complete$' >/dev/null 2>&1 || break; sleep 0.1; done
! xdotool search --name '^Programming complete$' >/dev/null 2>&1 || fail "the box was not answered"

"$flash" flash --port "$run/linux" --file "$sample" --yes >/dev/null 2>&1 || fail "the Linux program failed"
control "" dump && control l dump || fail "no dumps"
cmp "$run/unit.flash" "$run/linux.flash" && cmp "$run/unit.eeprom" "$run/linux.eeprom" ||
  fail "the unit holds other bytes than the Linux program gives it"

wine taskkill /im ondo-flash.exe >/dev/null 2>&1  # a close request, as the close box makes
for _ in $(seq 100); do pgrep -f 'ondo-flash.exe' >/dev/null || break; sleep 0.1; done
! pgrep -f 'ondo-flash.exe' >/dev/null || fail "the window did not close"
# Exported as the registry keeps it (UTF-16): reg query prints in the console's code page.
wine reg export "$key" "$(ondo_wine_path "$run/settings.reg")" >/dev/null 2>&1
stored="$(iconv -f UTF-16 -t UTF-8 "$run/settings.reg" | tr -d '\r')"
for want in '"port"="COM1"' "\"flashFile\"=\"${file//\\/\\\\}\"" '"prompt"=" 1"' '"formwidth"=" ' \
  '"formtop"="'; do
  grep -qF "$want" <<<"$stored" || fail "the key lacks \"$want\": $stored"
done
echo "window under Wine: greeted, updated, answered, closed; settings written back"
