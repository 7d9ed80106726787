#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the test suite against each planted fault of scripts/mutants.txt, one at a time: checks
# that the file is unchanged, plants the fault, rebuilds incrementally, runs ctest until the
# first failure, and puts the file back (also when interrupted). A fault is "caught" when some
# test fails, "survived" when the whole suite passes, "not applicable" when its old text no
# longer occurs exactly once, and "build failed" when the product does not compile with it.
#
#   scripts/mutants.sh [BUILD_DIR] [ctest args...]
#
# BUILD_DIR (default: build) must be configured already. Extra ctest arguments go to every run,
# for example `-E 'name'` to leave out a test that fails without any fault. MUTANTS_TIMEOUT sets
# the per-test time-out in seconds (default 300), MUTANTS_ONLY a regex of the ids to run,
# MUTANTS_LIST another list of the same form.
# The table goes to BUILD_DIR/mutants-result.tsv, the logs to BUILD_DIR/mutants/.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-build}")
[ $# -gt 0 ] && shift
list="${MUTANTS_LIST:-$root/scripts/mutants.txt}"
logs="$build/mutants"
table="$build/mutants-result.tsv"
timeout="${MUTANTS_TIMEOUT:-300}"
only="${MUTANTS_ONLY:-.}"

[ -f "$build/CMakeCache.txt" ] || { echo "not a configured build folder: $build" >&2; exit 2; }
mkdir -p "$logs"
cd "$root" || exit 2

current=""
restore() {
    if [ -n "$current" ]; then git checkout -- "$current"; current=""; fi
}
trap 'restore' EXIT
trap 'restore; echo "interrupted" >&2; exit 130' INT TERM

# Plants one fault: prints "ok", or "absent N" when the old text occurs N times (N != 1).
plant() {
    python3 - "$@" <<'EOF'
import re, sys
file, old, new = sys.argv[1:4]
unescape = lambda s: re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), s)
old, new = unescape(old), unescape(new)
text = open(file, encoding="utf-8").read()
count = text.count(old)
if count != 1:
    print(f"absent {count}")
    sys.exit(0)
open(file, "w", encoding="utf-8").write(text.replace(old, new))
print("ok")
EOF
}

# The first test that did not pass, from a ctest log.
first_failure() {
    sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .*\*\*\*.*/\1/p' "$1" | head -n 1
}

printf 'id\tresult\tfirst failing test\tdescription\n' >"$table"
total=0 caught=0 na=0 broken=0
while IFS= read -r -u 3 line; do
    case "$line" in ''|'#'*) continue ;; esac
    IFS=$'\x01' read -r id file old new what <<<"${line//$'\t'/$'\x01'}"
    [[ "$id" =~ $only ]] || continue
    total=$((total + 1))
    failing=""
    if [ -n "$(git status --porcelain -- "$file")" ]; then
        echo "$file has changes of its own; commit or stash them first" >&2
        exit 2
    fi
    if [ ! -f "$file" ]; then
        result="not applicable"
    else
        planted=$(plant "$file" "$old" "$new")
        if [ "$planted" != ok ]; then
            result="not applicable"
        else
            current="$file"
            if ! cmake --build "$build" -j2 </dev/null >"$logs/$id.build.log" 2>&1; then
                result="build failed"
            elif (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --stop-on-failure --output-on-failure \
                      -LE no-sanitize --timeout "$timeout" "$@") </dev/null >"$logs/$id.test.log" 2>&1; then
                result="survived"
            else
                result="caught"
                failing=$(first_failure "$logs/$id.test.log")
            fi
            restore
        fi
    fi
    case "$result" in
        caught) caught=$((caught + 1)) ;;
        "not applicable") na=$((na + 1)) ;;
        "build failed") broken=$((broken + 1)) ;;
    esac
    printf '%-24s %-15s %s\n' "$id" "$result" "$failing"
    printf '%s\t%s\t%s\t%s\n' "$id" "$result" "$failing" "$what" >>"$table"
done 3<"$list"

# Leave the build folder matching the tree again.
cmake --build "$build" -j2 >"$logs/restore.build.log" 2>&1 || echo "rebuild of the clean tree failed" >&2
summary="$caught caught of $total ($na not applicable, $broken build failed)"
echo "$summary"
echo "# $summary" >>"$table"
echo "table: $table"
