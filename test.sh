#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest. The last lines are
# ctest's summary.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
ondo_install
ondo_build
cd "$ONDO_BUILD"
QT_QPA_PLATFORM=offscreen exec ctest --output-on-failure -j2 --timeout 600
