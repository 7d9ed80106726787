#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A scratch `cmake --install`: every file, no build or source path, man pages naming what --help
# names; a copy of the prefix runs alone, the project's folders hidden.   install_check.sh BUILD SOURCE
set -euo pipefail
build="$(realpath "$1")" root="$(realpath "$2")" id=io.github.ondo_flash.OndoFlash work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$work/a" >/dev/null && cd "$work/a"
for f in bin/ondo-{flash,unit-sim} share/ondo-flash/samples/demo-AlaR.HXF share/{applications/$id.desktop,metainfo/$id.metainfo.xml} \
  share/icons/hicolor/{scalable/apps/$id.svg,{16,24,32,48,64,128,256}x*/apps/$id.png} share/man/man1/ondo-{flash,unit-sim}.1 \
  share/doc/ondo-flash/{README.md,LICENSE,docs/window-update.png}; do [ -s "$f" ] || fail "no $f"; done
! grep -rlF -e "$build" -e "$root" . || fail "build or source paths in the files above"
# The lines of standard input (an option, ".B STATUS", ".B ondo-flash COMMAND") not a word or line of page $1.
page() { sed 's/\\-/-/g' "share/man/man1/$1.1"; }
lacks() { grep -vxFf <(page "$1"; page "$1" | tr ' ' '\n') || true; }
help="$(for c in flash read-ee station probe check ports; do bin/ondo-flash $c --help; done; bin/ondo-flash --help)"
missing="$({ grep -oE -- '--[a-z][a-z-]*' <<<"$help"; grep -oE '^ *[0-9]+  ' <<<"$help" | sed 's/ //g; s/^/.B /'
  grep -oE 'ondo-flash [a-z][a-z-]+' <<<"$help" | sed 's/^/.B /'; } | sort -u | lacks ondo-flash
  bin/ondo-unit-sim --help | grep -oE -- '--[a-z][a-z-]*' | sort -u | lacks ondo-unit-sim)"
[ -z "$missing" ] || fail "not in the man pages: $missing"
cp -a "$work/a" "$work/b" && rm -rf "$work/a" && cd / && cp "$root/tests/packaging/installed_run.sh" "$work"
hide='for d in "${@:2}"; do mount -t tmpfs none "$d"; done; exec "$0" "$1"'
unshare -rm true 2>/dev/null && ns=(unshare -rm) || { ns=() hide='echo "note: no user namespaces: folders not hidden"; exec "$0" "$1"'; }
"${ns[@]}" bash -c "$hide" "$work/installed_run.sh" "$work/b" "$build" "$root"
echo "installed, and run from another prefix: $(ls "$work/b/bin" | xargs)"
