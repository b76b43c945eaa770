#!/usr/bin/env bash
# Builds the terminal and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec build/app/serialdebug "$@"
