#!/usr/bin/env bash
# Fuzzes the HXF reader for the given number of seconds (default 30).
#
# Builds the fuzz target with clang's libFuzzer and the address and undefined-behaviour
# sanitizers (and the C++ library's bounds checks, since a write past one array of the image
# would land in the next one, where the address sanitizer cannot see it) straight from the
# sources it needs, replays every regression file, then fuzzes from the seeds. Exits 1 on any
# finding (the input is kept and its path printed), 77 when no clang is at hand, 0 otherwise.
# Prints the number of executions reached.
#
# FUZZ_WORK_DIR: where the binary, corpus and findings go (default: a fresh temporary folder).
# CLANGXX: the compiler (default clang++).
set -uo pipefail

seconds=${1:-30}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cxx=${CLANGXX:-clang++}
if [ -n "${FUZZ_WORK_DIR:-}" ]; then
    work=$FUZZ_WORK_DIR
    own_work=false
else
    work=$(mktemp -d)
    own_work=true
fi

if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "hxf_fuzz: no $cxx here, fuzzing skipped"
    exit 77
fi

mkdir -p "$work/corpus"
rm -rf "$work/findings" && mkdir -p "$work/findings"

if ! "$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -D_GLIBCXX_ASSERTIONS -I "$root/src" \
    "$here/hxf_fuzz.cpp" "$root/src/firmware/hxf.cpp" "$root/src/core/hex.cpp" \
    -o "$work/hxf_fuzz" 2>"$work/build.log"; then
    cat "$work/build.log"
    echo "hxf_fuzz: the fuzz target does not build"
    exit 1
fi

regressions=("$here"/regressions/*)
if [ -e "${regressions[0]}" ]; then
    if ! "$work/hxf_fuzz" "${regressions[@]}" >"$work/replay.log" 2>&1; then
        cat "$work/replay.log"
        echo "hxf_fuzz: a regression input fails again"
        exit 1
    fi
    echo "hxf_fuzz: ${#regressions[@]} regression inputs replayed"
fi

cp "$here"/seeds/* "$work/corpus/"
"$work/hxf_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -dict="$here/hxf.dict" -artifact_prefix="$work/findings/" \
    "$work/corpus" >"$work/fuzz.log" 2>&1
status=$?

execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$')
echo "hxf_fuzz: ${execs:-unknown} executions in $seconds s"
if [ $status -ne 0 ] || [ -n "$(ls -A "$work/findings")" ]; then
    tail -n 60 "$work/fuzz.log"
    echo "hxf_fuzz: finding kept in $work/findings:"
    ls -l "$work/findings"
    exit 1
fi
if $own_work; then rm -rf "$work"; fi
exit 0
