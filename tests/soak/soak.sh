#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The seeded soak by hand: whole updates through the command line against the simulated unit
# with random faults, each outcome checked against the unit's memories.
#
#   tests/soak/soak.sh --runs 1000 [--seed N] [--jobs N]
#   tests/soak/soak.sh --replay RUNSEED      # one run again, by the seed its failure named
#
# Builds what it needs into $ONDO_BUILD (default build/).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ONDO_BUILD:-$root/build}"
while [ $# -gt 1 ]; do
  case "$1" in
    --runs) export ONDO_SOAK_RUNS="$2" ;;
    --seed) export ONDO_SOAK_SEED="$2" ;;
    --jobs) export ONDO_SOAK_JOBS="$2" ;;
    --replay) export ONDO_SOAK_REPLAY="$2" ;;
    *) break ;;
  esac
  shift 2
done
[ $# -eq 0 ] || { sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target test_soak ondo-flash ondo-unit-sim -j2
exec "$build/tests/test_soak" --gtest_filter='Soak.Seeded*'
