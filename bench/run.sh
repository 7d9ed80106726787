#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the benchmarks in a Release tree of their own and runs one or all of them.
#
#   bench/run.sh update [--runs N] [--adapters MS,MS|none] [TYPE...]
#                                              whole updates against the paced simulated unit,
#                                              then through its modelled USB adapter (16,1 ms)
#   bench/run.sh hxf [READS]                   reading a full 32 KiB + 4 KiB firmware file
#   bench/run.sh idle [SECONDS]                CPU share while waiting
#   bench/run.sh station [--runs N] [--type TYPE] [--progress text|json|board|all]
#                                              the station: three paced units at once against one
#   bench/run.sh windows [RUNS]                an AlaR update by the Linux program and by the
#                                              Windows program under Wine (needs build-win/:
#                                              scripts/setup.sh's ondo_build_windows)
#   bench/run.sh all                           the first four, one after the other
#
# The build tree is build-bench/ at the top of the repository (ONDO_BENCH_BUILD overrides it).
# Figures vary with the machine's load: each benchmark prints the load average with them.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ONDO_BENCH_BUILD:-$here/build-bench}"
which="${1:-all}"
shift || true

case "$which" in
  update | hxf | idle | station) targets=("bench_$which") ;;
  windows) targets=(ondo-flash ondo-unit-sim) ;;
  all) targets=(bench_hxf bench_idle bench_update bench_station) ;;
  *)
    sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" --target "${targets[@]}" -j2
if [ "$which" = windows ]; then
  exec "$here/bench/windows.sh" "$build" "${ONDO_WINDOWS_BUILD:-$here/build-win}" "$@"
fi
for target in "${targets[@]}"; do
  if [ "$which" = all ]; then
    "$build/bench/$target"
  else
    "$build/bench/$target" "$@"
  fi
done
