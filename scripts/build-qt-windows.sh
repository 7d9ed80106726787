#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt for Windows x64 (qtbase: Core, Gui, Widgets, the Windows platform plugin and styles),
# static and release, from Debian's own source package of the Qt 6 that the Linux build uses,
# with the MinGW-w64 cross compiler and Debian's Qt 6 as the host tools (moc, rcc, uic). The
# result is installed into a cache outside the work tree, keyed by the Qt version and the
# options below, and reused: a second call only prints where it is.
#   scripts/build-qt-windows.sh          prints the Qt prefix on its last line
#   scripts/build-qt-windows.sh --check  the same when it is built already; else exits 1
# The cache is $ONDO_CACHE (default ~/.cache/ondo-flash). The first build takes about 1,100
# steps, some 20 to 30 minutes on two cores.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="${ONDO_CACHE:-$HOME/.cache/ondo-flash}"
jobs="${ONDO_JOBS:-2}"
toolchain="$root/packaging/windows/mingw64.cmake"
host_cmake=/usr/lib/x86_64-linux-gnu/cmake

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
apt_install() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}
[ "${1:-}" = "--check" ] ||
  apt_install qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev

version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"  # 6.4.2+dfsg-10, say
qt_version="${version%%+*}"
# Only what the utility needs. Tablet events are left out because Debian's repacked source lacks
# the tablet API's header (wintab.h) that the Windows platform plugin includes for them.
options=(-release -static -opensource -confirm-license -nomake examples -nomake tests
  -no-opengl -no-dbus -no-icu -no-openssl -no-feature-network -no-feature-sql
  -no-feature-testlib -no-feature-concurrent -no-feature-xml -no-feature-printsupport
  -no-feature-vulkan -no-feature-tabletevent -no-feature-sql -qt-zlib -qt-libpng -no-libjpeg
  -qt-pcre -qt-freetype -qt-harfbuzz -no-feature-androiddeployqt)
key="$(printf '%s\n' "$qt_version" "${options[@]}" "$(sha256sum "$toolchain" | cut -c1-16)" |
  sha256sum | cut -c1-12)"
prefix="$cache/qt-$qt_version-mingw64-static-$key"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
[ "${1:-}" = "--check" ] && exit 1

# Debian's source package: apt needs deb-src entries for it, added beside the deb ones.
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
  list=/etc/apt/sources.list.d/ondo-deb-src.sources
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$list" >/dev/null
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $sudo tee "${list%.sources}.list" >/dev/null
  fi
  $sudo apt-get update
fi

work="$cache/work-$key"
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get source --download-only qt6-base="$version" >/dev/null &&
  dpkg-source --no-check -x ./*.dsc src >/dev/null)
src="$work/src"
started=$(date +%s)
mkdir -p "$work/build"
cd "$work/build"
# Paths of this machine kept out of the objects, so that the program built with them does not
# depend on where the cache is.
"$src/configure" -prefix "$prefix" "${options[@]}" -xplatform win32-g++ \
  -qt-host-path /usr -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
  -DCMAKE_C_FLAGS="-ffile-prefix-map=$src=qtbase" -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$src=qtbase"
cmake --build . --parallel "$jobs"
cmake --install . >/dev/null
# What a release must carry with the program: Qt's licence texts and where its source comes from.
mkdir -p "$prefix/share/ondo-licences"
cp "$src/LICENSES/"*.txt "$prefix/share/ondo-licences/" 2>/dev/null || true
cp "$src/debian/copyright" "$prefix/share/ondo-licences/debian-copyright"
printf 'Qt %s (qtbase), built from Debian source package qt6-base %s\n' "$qt_version" "$version" \
  >"$prefix/share/ondo-licences/SOURCE"
echo "Qt for Windows built in $(( $(date +%s) - started )) s" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
