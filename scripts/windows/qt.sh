#!/usr/bin/env bash
# Makes Qt 6.4.2 for 64-bit Windows (MinGW-w64) ready and prints the folder it is in.
# A ready build (qt6-mingw-6.4.2.tar.xz) is looked for in $SERIALDEBUG_QT_MINGW, then in
# <repo>/../shared/qt6-mingw/, then in /work/shared/qt6-mingw/, and unpacked into
# ~/.cache/serialdebug/qt6-mingw. Without one, Qt is built from Debian's qt6-base source
# package (about an hour on two cores), fetched with a private apt configuration.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/serialdebug"
tarball_name=qt6-mingw-6.4.2.tar.xz
prefix="$cache/qt6-mingw"

find_tarball() {
    local folder
    for folder in "${SERIALDEBUG_QT_MINGW:-}" "$repo/../shared/qt6-mingw" /work/shared/qt6-mingw; do
        if [ -n "$folder" ] && [ -f "$folder/$tarball_name" ]; then
            echo "$folder/$tarball_name"
            return 0
        fi
    done
    return 1
}

unpack() {
    local tarball="$1" partial="$cache/qt6-mingw.partial"
    rm -rf "$partial"
    mkdir -p "$partial"
    tar -xJf "$tarball" -C "$partial"
    rm -rf "$prefix"
    mv "$partial/qt6-mingw" "$prefix"
    rmdir "$partial"
    basename "$tarball" > "$prefix/.unpacked-from"
}

# Cross-builds qtbase from Debian's source package into $prefix.
build_from_source() {
    local work="$cache/qt6-work" src=qtbase-everywhere-src-6.4.2
    mkdir -p "$work"
    cd "$work"
    if [ ! -d "$src" ]; then
        if ! ls qt6-base_6.4.2+dfsg.orig.tar.xz >/dev/null 2>&1; then
            mkdir -p apt/lists/partial apt/cache/archives/partial apt/none
            sed -n 's/^Types: deb$/Types: deb-src/p; /^URIs:\|^Suites:\|^Components:\|^Signed-By:/p' \
                /etc/apt/sources.list.d/debian.sources | head -n 5 > apt/none/src.sources
            local opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt/none"
                        -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
            apt-get "${opts[@]}" update -qq
            apt-get "${opts[@]}" source --download-only qt6-base=6.4.2+dfsg-10
        fi
        tar -xJf qt6-base_6.4.2+dfsg.orig.tar.xz
        local w=$src/src/plugins/platforms/windows
        # Debian's source has no src/3rdparty/wintab: the platform plugins go without tablet input.
        sed -i 's/QT_CONFIG(tabletevent)/0 \/\* no wintab.h in the Debian source \*\//' \
            $w/qwindowscontext.cpp $w/qwindowspointerhandler.cpp $w/qwindowspointerhandler.h
        sed -i 's/CONDITION QT_FEATURE_tabletevent/CONDITION FALSE/' $w/CMakeLists.txt $w/../direct2d/CMakeLists.txt
        # With SSL off, 6.4.2 still builds the schannel TLS plugin.
        sed -i 's/^if (QT_FEATURE_schannel)$/if (QT_FEATURE_schannel AND QT_FEATURE_ssl)/' $src/src/plugins/tls/CMakeLists.txt
        # With OpenGL off, 6.4.2's windows plugin still reaches OpenGL code under dynamicgl.
        sed -i 's/#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' $w/qwindowswindow.cpp
    fi
    cmake -S "$src" -B build -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/mingw.cmake" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
        -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_openssl=OFF -DFEATURE_ssl=OFF
    cmake --build build -j2
    cmake --install build
    echo "built from source" > "$prefix/.unpacked-from"
}

mkdir -p "$cache"
if tarball="$(find_tarball)"; then
    if [ "$(cat "$prefix/.unpacked-from" 2>/dev/null)" != "$tarball_name" ]; then
        unpack "$tarball" >&2
    fi
elif [ ! -f "$prefix/.unpacked-from" ]; then
    build_from_source >&2
fi
echo "$prefix"
