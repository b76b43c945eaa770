#!/usr/bin/env bash
# Configures and builds into build/ (Release with debug info): everything, or only the targets
# named as arguments (e.g. "serialdebug" for the terminal alone).
# Usage: scripts/build.sh [target]...
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ $# -eq 0 ]; then
    cmake --build build
else
    cmake --build build --target "$@"
fi
