#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A whole AlaR update against the paced simulated unit (19,200 bit/s), by the Linux program and
# by the Windows program under Wine, RUNS times each in turn (default 3): the medians of the
# update's own time (the report's elapsed_s, from Start to the end), of the process's wall time
# (Wine's start-up included for the Windows program) and of its CPU time (user + system of the
# process and its children; wineserver, a daemon, is not counted), and the ratios.
#   bench/windows.sh LINUX_BUILD WIN_BUILD [RUNS]
set -euo pipefail
linux="$1" win="$2" runs="${3:-3}"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/tests/win32/wine_prefix.sh"
work="$linux/bench-wine"
ondo_wine_prefix "$work"
sample="$here/samples/demo-AlaR.HXF"
tmp="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

# One update: prints "elapsed wall cpu".
one() {
  local face="$1"
  "$linux/sim/ondo-unit-sim" --pace --link "$tmp/unit" </dev/null >/dev/null &
  local sim=$!
  for _ in $(seq 50); do [ -e "$tmp/unit" ] && break; sleep 0.1; done
  ln -sfn "$tmp/unit" "$work/com1"
  if [ "$face" = linux ]; then
    /usr/bin/time -f '%e %U %S' -o "$tmp/time" "$linux/src/app/ondo-flash" flash --port "$tmp/unit" \
      --file "$sample" --yes --progress=json >"$tmp/out" 2>/dev/null
  else
    /usr/bin/time -f '%e %U %S' -o "$tmp/time" wine "$win/src/app/ondo-flash.com" flash --port COM1 \
      --file "$(ondo_wine_path "$sample")" --yes --progress=json >"$tmp/out" 2>/dev/null
  fi
  kill "$sim"
  wait "$sim" 2>/dev/null || true
  local elapsed
  elapsed="$(grep -o '"elapsed_s":[0-9.]*' "$tmp/out" | cut -d: -f2)"
  grep -q '"outcome":"complete"' "$tmp/out" || { echo "a $face run failed" >&2; exit 1; }
  awk -v e="$elapsed" '{ printf "%s %s %.3f\n", e, $1, $2 + $3 }' "$tmp/time"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for _ in $(seq "$runs"); do
  one linux >>"$tmp/linux"
  one windows >>"$tmp/windows"
done
printf '| program | update s (report) | process wall s | CPU s | CPU share of the update |\n|---|---|---|---|---|\n'
for face in linux windows; do
  e="$(cut -d' ' -f1 "$tmp/$face" | median)" w="$(cut -d' ' -f2 "$tmp/$face" | median)"
  c="$(cut -d' ' -f3 "$tmp/$face" | median)"
  printf '| %s | %s | %s | %s | %s %% |\n' "$face" "$e" "$w" "$c" "$(awk -v c="$c" -v e="$e" 'BEGIN { printf "%.1f", 100 * c / e }')"
  eval "${face}_e=$e ${face}_w=$w"
done
awk -v a="$windows_e" -v b="$linux_e" -v c="$windows_w" -v d="$linux_w" \
  'BEGIN { printf "Windows / Linux: update %.3f, process wall %.3f\n", a / b, c / d }'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
