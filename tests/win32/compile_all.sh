#!/usr/bin/env bash
# Compiles every source file of src/ for Windows with the MinGW cross compiler, as a syntax
# check against Qt's headers (Debian's are the Linux build's, but apart from the configuration
# they describe the same classes on every platform, and the configuration only matters once
# something is linked). Files that belong to another platform are left out by name below.
#
#   compile_all.sh SOURCE_DIR QT_INCLUDE_DIR...
#
# Exit 77 (skipped) when the cross compiler is missing; 1 when any file fails.
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
failed=0
count=0
while IFS= read -r file; do
  if [[ "$file" =~ $posix_only ]]; then
    echo "skipped (POSIX only): ${file#"$src"/}"
    continue
  fi
  count=$((count + 1))
  if ! "$cxx" "${flags[@]}" "$file"; then
    echo "FAILED: ${file#"$src"/}"
    failed=$((failed + 1))
  fi
done < <(find "$src" -name '*.cpp' | sort)
echo "$count files compiled for Windows, $failed failed"
[ "$count" -gt 0 ] && [ "$failed" -eq 0 ]
