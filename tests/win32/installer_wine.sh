#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What an owner downloads, under Wine: the release script packages the Windows build (the zip
# holds the programs, the samples, the owner's README and the licence texts); the installer
# installs silently into Program Files with two Start-menu entries and an entry in Apps &
# features; the installed program, typed in cmd.exe, says its version, lists COM1 to COM9 and
# the system's COM12 with how to renumber it, and refuses --demo in one line; a silent uninstall
# leaves none of its files, entries or keys.
#   installer_wine.sh WORK WIN_BUILD_DIR
set -uo pipefail
work="$1" build="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine_prefix.sh"
ondo_wine_prefix "$work"
run="$(mktemp -d "$work/installer.XXXXXX")"
trap 'rm -rf "$run"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
"$here/../../scripts/release-windows.sh" --from-build "$build" --out "$run/dist" >"$run/release.log" 2>&1 ||
  { cat "$run/release.log"; fail "release script"; }
zip="$(ls "$run"/dist/*-windows-x64.zip)" setup="$(ls "$run"/dist/*-setup.exe)"
listing="$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")"
for f in ondo-flash.exe ondo-flash.com samples/demo-AlaR.HXF README-Windows.txt LICENSE.txt \
  licences/Qt/SOURCE licences/Qt/LGPL-3.0-only.txt; do
  grep -qx "[^/]*/$f" <<<"$listing" || fail "the zip lacks $f"
done

programs="$WINEPREFIX/drive_c/Program Files/Ondo FLASH utility"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\OndoFlash'
wine "$(ondo_wine_path "$setup")" /S </dev/null >/dev/null 2>&1 || fail "silent install"
for f in ondo-flash.exe ondo-flash.com uninstall.exe samples/demo-AlaR.HXF licences/Qt/SOURCE; do
  [ -f "$programs/$f" ] || fail "not installed: $f"
done
[ -f "$menu/Ondo FLASH utility.lnk" ] && [ -f "$menu/Ondo FLASH utility command line.lnk" ] ||
  fail "no Start-menu entries"
wine reg query "$key" /v DisplayName </dev/null 2>/dev/null | grep -q "Ondo FLASH utility" ||
  fail "not in Apps & features"

version="$("$here/wine_cmd.sh" "$work" "$programs" --version 2>&1)" || fail "--version: $version"
grep -qE '^ondo-flash Rev [0-9]+\.[0-9]+[a-z] \(version ' <<<"$version" || fail "--version: $version"
ports="$("$here/wine_cmd.sh" "$work" "$programs" ports 2>&1)" || fail "ports: $ports"
[ "$(grep -cE '^COM[1-9]  \\\\\.\\COM[1-9]  ' <<<"$ports")" -eq 9 ] && grep -qx 'COM12  not offered' <<<"$ports" &&
  grep -q 'Device Manager' <<<"$ports" || fail "ports: $ports"
demo="$("$here/wine_cmd.sh" "$work" "$programs" flash --demo --yes 2>&1)"
status=$?
[ "$status" -eq 2 ] && [ "$(wc -l <<<"$demo")" -eq 1 ] && grep -q Linux <<<"$demo" ||
  fail "--demo exits $status: $demo"

wine "$(ondo_wine_path "$programs/uninstall.exe")" /S </dev/null >/dev/null 2>&1
for _ in $(seq 100); do [ -e "$programs" ] || break; sleep 0.2; done  # it runs from a copy
[ ! -e "$programs" ] || fail "left behind: $(find "$programs")"
[ ! -e "$menu/Ondo FLASH utility.lnk" ] && [ ! -e "$menu/Ondo FLASH utility command line.lnk" ] ||
  fail "Start-menu entries left"
! wine reg query "$key" </dev/null >/dev/null 2>&1 || fail "the Apps & features entry is left"
echo "installed, run, uninstalled: $version"
