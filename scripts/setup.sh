#!/usr/bin/env bash
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
# test runs under Wine. xvfb, imagemagick: screenshots of the running window. clang-format: the
# layout check of test.sh.
ONDO_PACKAGES=(cmake g++ make pkg-config qt6-base-dev libgtest-dev libgmock-dev clang clang-format
  g++-mingw-w64-x86-64-posix wine wine64 googletest xvfb xauth imagemagick python3)

ondo_missing_packages() {
  local missing=()
  for p in "${ONDO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

ondo_install() {
  local missing
  missing="$(ondo_missing_packages)"
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

# The engine, the simulated unit and every test built with the sanitizers (-DONDO_SANITIZE=ON).
ondo_build_sanitized() {
  cmake -S "$ONDO_ROOT" -B "$ONDO_BUILD_ASAN" -DCMAKE_BUILD_TYPE=Debug -DONDO_SANITIZE=ON "$@"
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
