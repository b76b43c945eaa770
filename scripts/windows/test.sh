#!/usr/bin/env bash
# Builds the Windows programs (scripts/windows/build.sh) and runs every test program of
# build-win64/tests/ under Wine, in a private prefix (build-win64/wine). COM1 is mapped to a
# pseudo-terminal whose master tests/windows/far_side.py holds, playing the device, so the COM
# port tests reach a device through Wine's serial layer; ser2net on 127.0.0.1 serves a second
# one, played by a second far side. Window tests draw offscreen.
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

trap stop_far_side EXIT
start_far_side "$out/test-results"
start_ser2net "$out/test-results"

export SERIALDEBUG_TEST_COM=COM1
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
