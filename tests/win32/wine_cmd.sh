#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Windows program as an owner types it in cmd.exe: `ondo-flash ARGS` in a batch file,
# found through PATH (the console twin ondo-flash.com before ondo-flash.exe), its exit status
# read from %ERRORLEVEL% there and made this script's. Arguments that are absolute paths become
# Windows names on drive Z:. Standard output and error keep their CR LF line ends as LF.
#   wine_cmd.sh WORK BIN_DIR ARGS...
set -uo pipefail
work="$1" bin="$2"
shift 2
source "$(dirname "$0")/wine_prefix.sh"
ondo_wine_prefix "$work"
run="$(mktemp -d "$work/cmd.XXXXXX")"
trap 'rm -rf "$run"' EXIT
# Each argument reaches cmd.exe through the environment (Wine hands it over as Unicode), so that
# names that are not ASCII survive the batch file, which cmd.exe reads in the console's code page.
export LC_ALL=C.UTF-8
line="ondo-flash"
n=0
for arg in "$@"; do
  [[ $arg == /* ]] && arg="$(ondo_wine_path "$arg")"
  n=$((n + 1))
  export "ONDO_ARG$n=$arg"
  line+=" \"%ONDO_ARG$n%\""
done
printf '@set PATH=%s;%%PATH%%\r\n@%s\r\n@>"%s" echo %%ERRORLEVEL%%\r\n' \
  "$(ondo_wine_path "$bin")" "$line" "$(ondo_wine_path "$run/errorlevel")" >"$run/run.bat"
wine cmd /c "$(ondo_wine_path "$run/run.bat")" </dev/null > >(sed -u 's/\r$//') 2> >(sed -u 's/\r$//' >&2)
wait
status="$(tr -dc '0-9' <"$run/errorlevel" 2>/dev/null)"
exit "${status:-125}"
