#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's picture, docs/window-update.png: the window of this build in the demo under
# Xvfb, against the simulated unit paced at the real line rate, in the middle of an update
# (Start pressed, the pages going out). Run from anywhere; the sample file is named from the
# project's folder, so the picture shows no folder of this machine.
#   scripts/screenshot.sh [OUT.png] [SECONDS_AFTER_START (3)]
set -euo pipefail
# Inside Xvfb (the script runs itself there): start the demo, press Start, take the window.
if [ "${1:-}" = "--inside" ]; then
  source "$(dirname "$0")/setup.sh"
  flash="$2" out="$3" after="$4"
  "$flash" --demo --sim-args "--pace" &
  trap '{ kill -KILL $!; wait; } 2>/dev/null' EXIT  # a close would act as Abort here
  window="$(ondo_await_window "Ondo FLASH utility")"
  [ -n "$window" ] || { echo "the window did not open"; exit 1; }
  sleep 1                                               # the greeting: "V 0024" in the pane
  xdotool mousemove --window "$window" 260 116 click 1  # Start, where the layout puts it
  sleep "$after"
  import -window "$window" "$out"
  exit 0
fi
source "$(dirname "$0")/setup.sh"
out="$(realpath -m "${1:-$ONDO_ROOT/docs/window-update.png}")"
ondo_install
ondo_build >/dev/null
cd "$ONDO_ROOT"
XDG_RUNTIME_DIR="$(mktemp -d)" xvfb-run -a -s "-screen 0 1024x768x24" \
  "$ONDO_ROOT/scripts/screenshot.sh" --inside "$ONDO_BUILD/src/app/ondo-flash" "$out" "${2:-3}"
echo "$out"
