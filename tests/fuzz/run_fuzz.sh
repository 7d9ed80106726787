#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the HXF reader for the given number of seconds (default 30): builds the target with
# clang's libFuzzer, the address and undefined-behaviour sanitizers and the C++ library's bounds
# checks (a write past one array of the image lands in the next, unseen by the address sanitizer),
# replays every regression input, then fuzzes from the seeds. Exits 1 on any finding (kept in
# $FUZZ_WORK_DIR/findings), 77 when there is no clang ($CLANGXX, default clang++), 0 otherwise.
set -uo pipefail
seconds=${1:-30}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cxx=${CLANGXX:-clang++}
work=${FUZZ_WORK_DIR:-$(mktemp -d)}
command -v "$cxx" >/dev/null 2>&1 || { echo "hxf_fuzz: no $cxx here, fuzzing skipped"; exit 77; }
rm -rf "$work/findings" && mkdir -p "$work/corpus" "$work/findings"
"$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -D_GLIBCXX_ASSERTIONS -I "$root/src" "$here/hxf_fuzz.cpp" "$root/src/firmware/hxf.cpp" \
    "$root/src/core/hex.cpp" -o "$work/hxf_fuzz" || { echo "hxf_fuzz: no build"; exit 1; }
"$work/hxf_fuzz" "$here"/regressions/* || { echo "hxf_fuzz: a regression fails again"; exit 1; }
cp "$here"/seeds/* "$work/corpus/"
"$work/hxf_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -dict="$here/hxf.dict" -artifact_prefix="$work/findings/" "$work/corpus" 2>"$work/fuzz.log"
status=$?
if [ $status -ne 0 ] || [ -n "$(ls -A "$work/findings")" ]; then
    tail -n 60 "$work/fuzz.log"
    echo "hxf_fuzz: finding kept in $work/findings"
    exit 1
fi
tail -n 1 "$work/fuzz.log"
