#!/usr/bin/env bash
# The seeded soak by hand: whole updates through the command-line mode against the simulated
# unit with random faults, each outcome checked against the unit's memories.
#
#   tests/soak/soak.sh --runs 1000 [--seed N] [--jobs N] [--keep DIR] [--report FILE]
#   tests/soak/soak.sh --replay RUNSEED      # one run again, by the seed its line printed
#
# --jobs runs that many updates at once (default 8; they mostly wait on time-outs), --keep keeps
# the output of every run that did not end verified correct, --report writes the table of
# figures in Markdown. Builds what it needs into $ONDO_BUILD (default build/).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ONDO_BUILD:-$root/build}"

usage() { sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) export ONDO_SOAK_RUNS="$2"; shift 2 ;;
    --seed) export ONDO_SOAK_SEED="$2"; shift 2 ;;
    --jobs) export ONDO_SOAK_JOBS="$2"; shift 2 ;;
    --replay) export ONDO_SOAK_REPLAY="$2"; shift 2 ;;
    --keep) mkdir -p "$2"; ONDO_SOAK_KEEP="$(cd "$2" && pwd)"; export ONDO_SOAK_KEEP; shift 2 ;;
    --report) export ONDO_SOAK_REPORT="$2"; shift 2 ;;
    *) usage ;;
  esac
done

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target test_soak ondo-flash ondo-unit-sim -j2
exec "$build/tests/test_soak"
