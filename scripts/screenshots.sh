#!/usr/bin/env bash
# Builds the terminal and saves pictures of its windows, drawn offscreen, into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh screenshots
QT_QPA_PLATFORM=offscreen build/tools/screenshots docs
