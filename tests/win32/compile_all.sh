#!/usr/bin/env bash
# Compiles every source file of src/ for Windows with the MinGW cross compiler, as a syntax
# check against Qt's headers (Debian's are the Linux build's, but apart from the configuration
# they describe the same classes on every platform, and the configuration only matters once
# something is linked). Files that belong to another platform are left out by name below.
#
#   compile_all.sh SOURCE_DIR QT_INCLUDE_DIR...
#
# Exit 77 (skipped) when the cross compiler is missing; not 0 when any file fails.
set -uo pipefail
src="$1/src"
shift
cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cxx" >/dev/null; then
  echo "$cxx not found: install g++-mingw-w64-x86-64-posix (scripts/setup.sh does) to run this check"
  exit 77
fi
# POSIX only: the termios serial backend. (sio_win32.cpp is its Windows counterpart and is
# compiled here.)
posix_only='/link/sio_posix\.cpp$'

qt=()
for dir in "$@"; do qt+=(-isystem "$dir"); done
# What Qt's own CMake files give a Windows build: wide-character Win32 calls, the modules used.
flags=(-std=c++20 -Wall -Wextra -Werror -fsyntax-only -DUNICODE -D_UNICODE -DQT_CORE_LIB
  -DQT_GUI_LIB -DQT_WIDGETS_LIB -I"$src" "${qt[@]}")
# Two files at a time: each is its own compiler run, and parsing Qt's headers is most of it.
mapfile -t files < <(find "$src" -name '*.cpp' | grep -Ev "$posix_only" | sort)
printf '%s\0' "${files[@]}" | xargs -0 -P 2 -n 1 "$cxx" "${flags[@]}"
status=$?
echo "${#files[@]} files compiled for Windows (all but the POSIX only ones): exit $status"
[ "${#files[@]}" -gt 0 ] && [ "$status" -eq 0 ]
