#!/usr/bin/env bash
# Runs a Windows program of build-win64/ under Wine with the environment of wine-env.sh (CTest
# and GoogleTest's test discovery use it as the cross-compiling emulator).
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
source "$repo/scripts/windows/wine-env.sh"
ensure_wine_prefix
exec wine "$@"
