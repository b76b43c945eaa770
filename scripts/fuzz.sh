#!/usr/bin/env bash
# Builds the fuzz targets with clang under ASan and UBSan and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
dir=build-fuzz
bash scripts/setup-debian.sh
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSERIALDEBUG_CORE_ONLY=ON \
    -DSERIALDEBUG_FUZZ=ON -DSERIALDEBUG_SANITIZE=address,undefined
cmake --build "$dir"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
found=0
while IFS= read -r target; do
    found=1
    name=$(basename "$target")
    subsystem=$(basename "$(dirname "$target")")
    seeds="fuzz/$subsystem/corpus/${name#fuzz_}"
    work="$dir/corpus/$name"
    mkdir -p "$work"
    echo "== $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$work" $( [ -d "$seeds" ] && echo "$seeds" )
done < <(find "$dir/fuzz" -type f -name 'fuzz_*' -perm -u+x | sort)
if [ "$found" -eq 0 ]; then
    echo "no fuzz targets"
fi
