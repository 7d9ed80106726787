#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package dist/ondo-flash_VERSION_ARCH.deb with debhelper: the project's files
# (as they are in the work tree, untracked ones too, ignored ones not) copied into
# build-deb/ondo-flash-VERSION/ with packaging/linux/debian as its debian/, then
# dpkg-buildpackage. The version is the one CMakeLists.txt gives; the changelog's entry is dated
# by the last commit and signed by DEBFULLNAME and DEBEMAIL, else git's user. Prints the path of
# the package last.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
ondo_install
cd "$ONDO_ROOT"
version="$(sed -nE 's/^project\(ondo_flash VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || { echo "no version in CMakeLists.txt"; exit 1; }
out="$ONDO_ROOT/build-deb" tree="$ONDO_ROOT/build-deb/ondo-flash-$version"
rm -rf "$out" && mkdir -p "$tree" dist
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
  [ -e "$f" ] && printf '%s\0' "$f"  # a file deleted but not yet committed stays out
done | xargs -0 cp -a --parents -t "$tree"
cp -a packaging/linux/debian "$tree/debian"
name="${DEBFULLNAME:-$(git config user.name || git log -1 --format=%an)}"
mail="${DEBEMAIL:-$(git config user.email || git log -1 --format=%ae)}"
sed -i "s|@MAINTAINER@|$name <$mail>|" "$tree/debian/control"
printf 'ondo-flash (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- %s <%s>  %s\n' \
  "$version" "$version" "$name" "$mail" "$(git log -1 --format=%aD)" >"$tree/debian/changelog"
(cd "$tree" && ONDO_COMMIT="$(git -C "$ONDO_ROOT" describe --always --dirty --abbrev=12)" \
  DEB_BUILD_OPTIONS="parallel=2 noautodbgsym" dpkg-buildpackage -us -uc -b >"$out/build.log" 2>&1) ||
  { tail -n 40 "$out/build.log"; exit 1; }
deb="$(cd "$out" && ls ondo-flash_"$version"_*.deb)"
mv "$out/$deb" dist/
echo "$ONDO_ROOT/dist/$deb"
