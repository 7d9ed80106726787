#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install` into a scratch prefix: every file an installed program needs, no path of the
# build or the sources in it, man pages that name every command, option and exit status the
# programs' help shows; then the prefix copied elsewhere runs on its own with the project's
# folders hidden (a mount namespace of its own, where user namespaces are allowed).
#   install_check.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$(realpath "$1")" root="$(realpath "$2")" id=io.github.ondo_flash.OndoFlash work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$work/a" >/dev/null && cd "$work/a"
for f in bin/ondo-{flash,unit-sim} share/ondo-flash/samples/demo-AlaR.HXF share/{applications/$id.desktop,metainfo/$id.metainfo.xml} \
  share/icons/hicolor/{scalable/apps/$id.svg,{16,24,32,48,64,128,256}x*/apps/$id.png} share/man/man1/ondo-{flash,unit-sim}.1 \
  share/doc/ondo-flash/{README.md,LICENSE,docs/window-update.png}; do [ -s "$f" ] || fail "no $f"; done
! grep -rlF -e "$build" -e "$root" . || fail "build or source paths in the files above"
# Lines of NEEDED (options, ".B STATUS", ".B ondo-flash COMMAND") that PAGE has not as a word or line.
page() { sed 's/\\-/-/g' "share/man/man1/$1.1"; }
lacks() { grep -vxFf <(page "$1"; page "$1" | tr ' ' '\n') || true; }
help="$(for c in flash read-ee check ports; do bin/ondo-flash $c --help; done; bin/ondo-flash --help)"
missing="$({ grep -oE -- '--[a-z][a-z-]*' <<<"$help"; grep -oE '^ *[0-9]+  ' <<<"$help" | sed 's/ //g; s/^/.B /'
  grep -oE 'ondo-flash [a-z][a-z-]+' <<<"$help" | sed 's/^/.B /'; } | sort -u | lacks ondo-flash
  bin/ondo-unit-sim --help | grep -oE -- '--[a-z][a-z-]*' | sort -u | lacks ondo-unit-sim)"
[ -z "$missing" ] || fail "not in the man pages: $missing"
cp -a "$work/a" "$work/b" && rm -rf "$work/a" && cd / && cp "$root/tests/packaging/installed_run.sh" "$work"
hide='for d in "${@:2}"; do mount -t tmpfs none "$d"; done; exec "$0" "$1"'
if unshare -rm true 2>/dev/null; then
  unshare -rm bash -c "$hide" "$work/installed_run.sh" "$work/b" "$build" "$root"
else
  echo "note: no user namespaces here, so the project's folders stay visible" && "$work/installed_run.sh" "$work/b"
fi
echo "installed, and run from another prefix: $(ls "$work/b/bin" | xargs)"
