#!/usr/bin/env bash
# Builds the terminal alone (no tests or benchmarks) and starts it; arguments go to the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh serialdebug
exec build/app/serialdebug "$@"
