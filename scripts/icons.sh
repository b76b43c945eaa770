#!/usr/bin/env bash
# Draws the program icon offscreen and saves it as PNG files in packaging/icons/, the icon-theme
# layout the package installs below /usr/share/icons/hicolor.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh icon-files
rm -rf packaging/icons
QT_QPA_PLATFORM=offscreen build/tools/icon-files packaging/icons
