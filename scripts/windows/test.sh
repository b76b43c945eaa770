#!/usr/bin/env bash
# Builds the Windows programs (scripts/windows/build.sh) and runs every test program of
# build-win64/tests/ under Wine, in a private prefix (build-win64/wine). COM1 is mapped to a
# pseudo-terminal whose master tests/windows/far_side.py holds, playing the device, so the COM
# port tests reach a device through Wine's serial layer. Window tests draw offscreen.
# Usage: scripts/windows/test.sh [--no-build] [gtest filter]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

build=1
if [ "${1:-}" = "--no-build" ]; then
    build=0
    shift
fi
filter="${1:-*}"
if [ $build -eq 1 ]; then
    bash "$here/build.sh"
fi
source "$here/wine-env.sh"

far="$out/far-side"
far_pid=""
stop() {
    if [ -n "$far_pid" ]; then
        kill "$far_pid" 2>/dev/null || true
        wait "$far_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
}
trap stop EXIT

# Waits up to 20 s for `test` (a command) to hold.
wait_for() {
    local tries=0
    until "$@"; do
        tries=$((tries + 1))
        if [ $tries -ge 200 ]; then
            return 1
        fi
        sleep 0.1
    done
}

link_points_to_far_side() { [ "$(readlink "$WINEPREFIX/dosdevices/com1" 2>/dev/null)" = "$far/com1" ]; }

ensure_wine_prefix
mkdir -p "$far"
rm -f "$far/port"
python3 "$repo/tests/windows/far_side.py" "$far/com1" "$far/port" >"$far/log" 2>&1 &
far_pid=$!
wait_for test -s "$far/port" || { echo "far_side.py did not start:"; cat "$far/log"; exit 1; }

# Wine makes its COM links from this key when it starts (a link made by hand alone is
# replaced then), so the server is restarted after the key is set.
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$far/com1" /f >/dev/null
wineserver -k 2>/dev/null || true
wineserver -w
# One server for all the programs, its own messages kept apart from theirs.
mkdir -p "$out/test-results"
wineserver -p >"$out/test-results/wineserver.log" 2>&1
wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >/dev/null 2>&1 || true
wait_for link_points_to_far_side || { echo "Wine did not map COM1 to $far/com1"; exit 1; }

export SERIALDEBUG_TEST_COM=COM1
export SERIALDEBUG_FAR_SIDE_PORT="$(cat "$far/port")"
passed=0
failed=0
failures=()
for program in "$out"/tests/windows/*.exe; do
    name="$(basename "$program" .exe)"
    log="$out/test-results/$name.log"
    status=0
    timeout 900 wine "$program" --gtest_filter="$filter" >"$log" 2>&1 || status=$?
    # Wine's console ends lines with CR LF.
    count="$(tr -d '\r' <"$log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/\1/p')"
    broken="$(tr -d '\r' <"$log" | sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:$/\1/p')"
    passed=$((passed + ${count:-0}))
    failed=$((failed + ${broken:-0}))
    echo "$name: ${count:-0} passed, ${broken:-0} failed (exit $status)"
    if [ "$status" -ne 0 ]; then
        failures+=("$name")
        grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u || tail -n 20 "$log"
    fi
done
echo "under Wine: $passed tests passed, $failed failed; logs in $out/test-results/"
if [ ${#failures[@]} -gt 0 ]; then
    echo "failing programs: ${failures[*]}"
    exit 1
fi
