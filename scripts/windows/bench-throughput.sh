#!/usr/bin/env bash
# Throughput of a serial port read as the terminal reads it (bench_port_throughput), by the
# Linux build and by the Windows build under Wine, and by `cat` as the reference: the same
# pseudo-terminal each time, flooded by the same writer (tests/windows/far_side.py). Each
# figure is the far side's: how long the reader took to take the flood. Builds both first.
# Usage: scripts/windows/bench-throughput.sh [megabytes, default 50] [runs, default 3]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
megabytes="${1:-50}"
runs="${2:-3}"
bytes=$((megabytes * 1000 * 1000))

bash "$repo/scripts/build.sh" >/dev/null
cmake --build "$repo/build" --target bench_port_throughput >/dev/null
bash "$here/build.sh" bench_port_throughput >/dev/null
source "$here/wine-env.sh"
results="$out/bench-results"
trap stop_far_side EXIT
start_far_side "$results"

config="$results/Config.ini"
printf '[Ports]\r\nCOM1=%s\r\n' "$far/com1" >"$config"

# Sends FLOOD to the far side; prints the seconds the reader took.
flood() {
    exec 3<>"/dev/tcp/127.0.0.1/$SERIALDEBUG_FAR_SIDE_PORT"
    echo "FLOOD $bytes" >&3
    local answer
    read -r answer <&3
    exec 3<&-
    echo "${answer#OK }"
}

# Starts a reader (a command), waits for its READY, floods, and prints the far side's seconds.
through_program() {
    local log="$results/reader.log"
    "$@" >"$log" 2>&1 &
    local reader=$!
    wait_for grep -q READY "$log" || { cat "$log" >&2; kill "$reader"; return 1; }
    flood
    wait "$reader" || { cat "$log" >&2; return 1; }
}

through_cat() {
    stty -F "$far/com1" raw -echo
    head -c "$bytes" "$far/com1" >/dev/null &
    local reader=$!
    flood
    wait "$reader"
}

# The fastest of the runs, in seconds.
fastest() {
    local best=""
    for _ in $(seq "$runs"); do
        local seconds
        seconds="$("$@")"
        best="$(echo "$seconds ${best:-$seconds}" | awk '{ print ($1 < $2) ? $1 : $2 }')"
    done
    echo "$best"
}

cat_seconds="$(fastest through_cat)"
linux_seconds="$(fastest through_program "$repo/build/bench/serial/bench_port_throughput" COM1 "$bytes" "$config")"
windows_seconds="$(fastest through_program wine "$out/bench/serial/bench_port_throughput.exe" COM1 "$bytes")"

report() {
    awk -v name="$1" -v seconds="$2" -v reference="$cat_seconds" -v bytes="$bytes" \
        'BEGIN { printf "%-28s %8.1f MB/s  %5.2f of cat\n", name, bytes / seconds / 1e6, reference / seconds }'
}
echo "$megabytes MB through one pseudo-terminal, fastest of $runs runs, on $(nproc) cores of $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
report "cat" "$cat_seconds"
report "Linux build" "$linux_seconds"
report "Windows build under Wine" "$windows_seconds"
awk -v l="$linux_seconds" -v w="$windows_seconds" 'BEGIN { printf "Windows under Wine / Linux: %.2f\n", l / w }'
