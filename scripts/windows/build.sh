#!/usr/bin/env bash
# Cross-builds the terminal and its tests for 64-bit Windows into build-win64/ (MinGW-w64,
# Qt from scripts/windows/qt.sh, GoogleTest built from Debian's sources). Arguments name the
# targets to build; without them everything is built.
# Usage: scripts/windows/build.sh [target]...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
out="$repo/build-win64"

bash "$here/setup-debian.sh"
qt="$(bash "$here/qt.sh")"

# GoogleTest for Windows, from the sources of Debian's googletest package.
gtest="$out/googletest"
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/mingw.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$gtest/install" -Dgtest_disable_pthreads=OFF
    cmake --build "$gtest/build" -j2
    cmake --install "$gtest/build"
fi

cmake -S "$repo" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw.cmake" \
    -DQT_MINGW_PREFIX="$qt" -DGTEST_MINGW_PREFIX="$gtest/install" \
    -DCMAKE_PREFIX_PATH="$qt;$gtest/install" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$here/wine-run.sh"
if [ $# -eq 0 ]; then
    cmake --build "$out" -j2
else
    cmake --build "$out" -j2 --target "$@"
fi
