#!/usr/bin/env bash
# Runs the receive-throughput benchmark offscreen and then on an X server (Xvfb, xcb platform).
# Usage: scripts/bench-receive.sh [megabytes, default 100] [case name, or a prefix ending in '*'] [runs of each case]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bench=build/bench/app/bench_receive_throughput
if [ ! -x "$bench" ]; then
    bash scripts/build.sh
fi
QT_QPA_PLATFORM=offscreen "$bench" "$@"
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$bench" "$@"
