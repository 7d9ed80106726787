#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts the utility with the arguments given.
#   ./run.sh            the window
#   ./run.sh --demo     the window against the simulated unit, with a sample firmware file
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
ondo_install
ondo_build >/dev/null
exec "$ONDO_BUILD/src/app/ondo-flash" "$@"
