#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the utility and its tests need, when they are missing, and
# configures and builds the project into build/. Sourced by run.sh and test.sh.
set -euo pipefail

ONDO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ONDO_BUILD="${ONDO_BUILD:-$ONDO_ROOT/build}"
# The second build of test.sh: everything with the address and undefined-behaviour sanitizers.
ONDO_BUILD_ASAN="${ONDO_BUILD_ASAN:-$ONDO_ROOT/build-asan}"

# qt6-base-dev: the window and the event loop. g++-mingw-w64-x86-64-posix: every source file is
# compiled for Windows by the tests. wine, wine64 (64-bit Wine, no i386 architecture needed) and
# googletest (GoogleTest's sources, built with the cross compiler): the Windows serial backend's
# test runs under Wine. xvfb, imagemagick, xdotool: screenshots of the running window. clang-format: the
# layout check of test.sh. desktop-file-utils, appstream, man-db: the checks of the installed
# desktop entry, metadata and man pages. debhelper, dpkg-dev, lintian: scripts/make-deb.sh and
# its check. jgmenu: the application menu of scripts/screenshot-installed.sh.
ONDO_PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgtest-dev libgmock-dev clang clang-format
  g++-mingw-w64-x86-64-posix wine wine64 googletest xvfb xauth imagemagick xdotool python3 nsis
  desktop-file-utils appstream man-db debhelper dpkg-dev lintian jgmenu)

ondo_missing_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

ondo_install() {
  ondo_install_packages "${ONDO_PACKAGES[@]}"
}

# Installs those of the given Debian packages that are missing.
ondo_install_packages() {
  local missing
  missing="$(ondo_missing_packages "$@")"
  [ -z "$missing" ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: $missing"
  $sudo apt-get update
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
}

ondo_build() {
  cmake -S "$ONDO_ROOT" -B "$ONDO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$ONDO_BUILD" -j2
}

# Qt for Windows, built once into the cache (scripts/build-qt-windows.sh): prints its prefix.
ondo_qt_windows_prefix() {
  "$ONDO_ROOT/scripts/build-qt-windows.sh" | tail -n 1
}

# The Windows programs (ondo-flash.exe and ondo-flash.com), cross-built for release into the
# given folder (default build-win/) with Qt for Windows from the cache.
ondo_build_windows() {
  local dir="${1:-$ONDO_ROOT/build-win}" qt
  qt="$(ondo_qt_windows_prefix)"
  "$qt/bin/qt-cmake" -S "$ONDO_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$ONDO_ROOT/packaging/windows/mingw64.cmake"
  cmake --build "$dir" -j2
}

# The engine, the command line, the simulated unit and every test but the window's, built with
# the sanitizers (-DONDO_SANITIZE=ON) and without the window (-DONDO_BUILD_GUI=OFF).
ondo_build_sanitized() {
  cmake -S "$ONDO_ROOT" -B "$ONDO_BUILD_ASAN" -DCMAKE_BUILD_TYPE=Debug -DONDO_SANITIZE=ON \
    -DONDO_BUILD_GUI=OFF "$@"
  cmake --build "$ONDO_BUILD_ASAN" -j2
}

# Any sanitizer report ends the program that made it with a failure (the build already passes
# -fno-sanitize-recover), leak reports included. Child processes (the utility, the simulated
# unit) inherit this. No leak suppression is needed: Qt's offscreen platform and the system
# libraries it loads report no leaks here.
ondo_sanitizer_env() {
  export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
}

# The layout of every C++ file of the product, the simulated unit, the tests and the benchmarks is
# the one .clang-format gives; prints the files that differ and fails when one does.
ondo_format_check() {
  find "$ONDO_ROOT"/src "$ONDO_ROOT"/sim "$ONDO_ROOT"/tests "$ONDO_ROOT"/bench \
    \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
}

# Only the window's folder includes a header of Qt Gui or Qt Widgets, and only main() includes
# the window's own: the rest of the product builds without them. Prints each include elsewhere
# that names one of their headers.
ondo_include_check() {
  local qt patterns hits
  qt="$(dirname "$(find /usr/include -maxdepth 3 -type d -name QtWidgets -path '*qt6*' | head -n 1)")"
  patterns="$(mktemp)"
  for module in QtGui QtWidgets; do
    for header in "$qt/$module"/*; do
      header="${header##*/}"
      printf '<%s>\n<%s/%s>\n' "$header" "$module" "$header"
    done
  done >"$patterns"
  hits="$(grep -rnF --include='*.cpp' --include='*.h' -f "$patterns" "$ONDO_ROOT/src" "$ONDO_ROOT/sim" |
    grep -v "^$ONDO_ROOT/src/window/" | grep '#include' || true)"
  hits+="$(grep -rn --include='*.cpp' --include='*.h' '#include "window/' "$ONDO_ROOT/src" "$ONDO_ROOT/sim" |
    grep -v -e "^$ONDO_ROOT/src/window/" -e "^$ONDO_ROOT/src/app/window_face.cpp:" || true)"
  rm -f "$patterns"
  [ -z "$hits" ] && return 0
  echo "Qt Gui, Qt Widgets or window headers included outside the window:"
  echo "$hits"
  return 1
}

# Every source file starts with the licence's SPDX line (after the #! line of a script).
ondo_licence_check() {
  local missing
  missing="$(find "$ONDO_ROOT" -path "$ONDO_ROOT/build*" -prune -o -path "$ONDO_ROOT/.git" -prune -o \
    -path "$ONDO_ROOT/dist" -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' \
    -o -name '*.py' -o -name '*.cmake' -o -name CMakeLists.txt \) -print |
    while read -r f; do head -n 2 "$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || echo "$f"; done || true)"
  [ -z "$missing" ] && return 0
  echo "No SPDX-License-Identifier line at the top of:"
  echo "$missing"
  return 1
}

# Waits up to ten seconds for an X window whose name matches the pattern; prints its id, or
# nothing when none came.
ondo_await_window() {
  local window=""
  for _ in $(seq 100); do
    window="$(xdotool search --name "$1" 2>/dev/null | head -n 1)" || true
    [ -n "$window" ] && break
    sleep 0.1
  done
  echo "$window"
}
