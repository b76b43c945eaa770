#!/usr/bin/env bash
# Installs the Debian packages the Windows cross-build, its tests under Wine and its packaging
# need, on top of those of the Linux build. Safe to run again: it installs only what is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

bash "$here/../setup-debian.sh" \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    qt6-base-dev-tools qt6-translations-l10n googletest \
    wine wine64 nsis zip xz-utils python3 "$@"
