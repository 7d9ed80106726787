#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compiles every source file of src/ but the POSIX serial backend for Windows with the MinGW cross
# compiler, against Qt's headers (Debian's describe the same classes on every platform; only
# linking would need Windows' own), two files at a time.   compile_all.sh SOURCE_DIR QT_INCLUDES...
# Exit 77 (skipped) when the cross compiler is missing; not 0 when any file fails.
set -uo pipefail
src="$1/src"
shift
cxx=x86_64-w64-mingw32-g++-posix
if ! command -v "$cxx" >/dev/null; then
  echo "$cxx not found: install g++-mingw-w64-x86-64-posix (scripts/setup.sh does) to run this check"
  exit 77
fi
# What Qt's own CMake files give a Windows build: wide-character Win32 calls, the modules used;
# and what the project's give: the application id, the path from the programs to their data.
flags=(-std=c++20 -Wall -Wextra -Werror -fsyntax-only -DUNICODE -D_UNICODE -DQT_CORE_LIB
  -DQT_GUI_LIB -DQT_WIDGETS_LIB -DONDO_APP_ID='"app.id"' -DONDO_BIN_TO_DATA='"../share"' -I"$src")
for dir in "$@"; do flags+=(-isystem "$dir"); done
mapfile -t files < <(find "$src" -name '*.cpp' | grep -Ev '/link/sio_posix\.cpp$' | sort)
printf '%s\0' "${files[@]}" | xargs -0 -P 2 -n 1 "$cxx" "${flags[@]}" && [ "${#files[@]}" -gt 0 ]
