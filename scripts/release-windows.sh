#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes what a Windows owner downloads, in dist/: ondo-flash-<version>-windows-x64.zip (the two
# programs, the sample firmware files, README-Windows.txt and the licence texts of the project
# and of Qt) and ondo-flash-<version>-setup.exe (the NSIS installer of the same files), then
# prints the SHA-256 of each file it made. Built from the commit checked out, with Qt for Windows
# from the cache (scripts/build-qt-windows.sh builds it the first time); the same commit gives
# the same bytes in any folder: no build paths, no time stamps, file times from the commit.
#   scripts/release-windows.sh [--from-build WIN_BUILD_DIR] [--out DIR]
# --from-build packages the programs of an existing Windows build instead (the installer test).
set -euo pipefail
source "$(dirname "$0")/setup.sh"
from="" out="$ONDO_ROOT/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --from-build) from="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: $0 [--from-build WIN_BUILD_DIR] [--out DIR]" >&2; exit 2 ;;
  esac
done
version="$(sed -n 's/^project(ondo_flash VERSION \([0-9.]*\) .*/\1/p' "$ONDO_ROOT/CMakeLists.txt")"
stamp="$(git -C "$ONDO_ROOT" log -1 --format=%ct 2>/dev/null || echo 315532800)"
ondo_install_packages nsis python3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -z "$from" ]; then
  from="$work/build"
  ondo_build_windows "$from" >/dev/null
fi

name="ondo-flash-$version-windows-x64"
stage="$work/$name"
qt_licences="$(ondo_qt_windows_prefix)/share/ondo-licences"
mkdir -p "$stage/samples" "$stage/licences/Qt" "$out"
cp "$from/src/app/ondo-flash.exe" "$from/src/app/ondo-flash.com" "$stage/"
cp "$ONDO_ROOT"/samples/*.HXF "$stage/samples/"
# Texts as Windows' Notepad of old expects them: CR LF.
sed 's/$/\r/' "$ONDO_ROOT/packaging/windows/README-Windows.txt" >"$stage/README-Windows.txt"
sed 's/$/\r/' "$ONDO_ROOT/LICENSE" >"$stage/LICENSE.txt"
for f in "$qt_licences"/*; do sed 's/$/\r/' "$f" >"$stage/licences/Qt/$(basename "$f")"; done
find "$stage" -exec touch -h -d "@$stamp" {} +

# The zip: names sorted, times from the commit, no extra fields (Python's zipfile writes none).
python3 - "$work" "$name" "$out/$name.zip" "$stamp" <<'PY'
import os, sys, time, zipfile
root, name, target, stamp = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
when = time.gmtime(max(stamp, 315532800))[:6]
files = sorted(os.path.relpath(os.path.join(d, f), root)
               for d, _, fs in os.walk(os.path.join(root, name)) for f in fs)
with zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for rel in files:
        info = zipfile.ZipInfo(rel.replace(os.sep, "/"), when)
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(root, rel), "rb") as f:
            z.writestr(info, f.read())
os.replace(target + ".part", target)
PY
setup="$out/ondo-flash-$version-setup.exe"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DICON="$ONDO_ROOT/packaging/icons/ondo-flash.ico" \
  -DOUT="$setup" "$ONDO_ROOT/packaging/windows/installer.nsi" >"$work/makensis.log" ||
  { cat "$work/makensis.log"; exit 1; }
(cd "$out" && sha256sum "$name.zip" "$(basename "$setup")")
(cd "$stage" && sha256sum ondo-flash.exe ondo-flash.com)
