#!/usr/bin/env bash
# Builds the core and serial tests with a sanitizer and runs them.
# Usage: scripts/sanitize.sh address,undefined | thread
set -euo pipefail
cd "$(dirname "$0")/.."
sanitizer="${1:?usage: scripts/sanitize.sh address,undefined|thread}"
dir="build-${sanitizer//,/-}"
bash scripts/setup-debian.sh
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSERIALDEBUG_CORE_ONLY=ON \
    -DSERIALDEBUG_SANITIZE="$sanitizer"
cmake --build "$dir"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
ctest --test-dir "$dir" --output-on-failure --timeout 300 -j "$(nproc)"
