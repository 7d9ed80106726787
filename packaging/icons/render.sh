#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the icon's PNG sizes and the Windows .ico from ondo-flash.svg (the files are kept in
# the tree, so a build needs neither tool): needs rsvg-convert (librsvg2-bin) and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" ondo-flash.svg -o "ondo-flash-$size.png"
done
convert ondo-flash-{16,24,32,48,64,128,256}.png ondo-flash.ico
