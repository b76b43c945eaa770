#!/usr/bin/env bash
# Builds the terminal and runs every test (window tests run offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure --timeout 300 -j "$(nproc)"
