#!/usr/bin/env bash
# Builds the Windows program (scripts/windows/build.sh) and packs it into build-win64/package/:
#   serialdebug-<version>-win64.zip    a portable folder: the program, the Qt and MinGW runtime
#                                      DLLs, Qt's plugins and Chinese translations, the
#                                      licences; settings are kept beside the program
#   serialdebug-<version>-setup.exe    an NSIS installer of the same files, with a Start-menu
#                                      entry and an uninstaller that leaves the user's settings
# and checks that the installer installs and uninstalls silently (/S) under Wine.
# Usage: scripts/windows/package.sh [--no-check]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
check=1
if [ "${1:-}" = "--no-check" ]; then
    check=0
fi

bash "$here/build.sh" serialdebug
source "$here/wine-env.sh"
version="$(sed -n 's/^project(serialdebug VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"
package="$out/package"
stage="$package/serialdebug-$version-win64"
rm -rf "$package"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"

cp "$out/app/serialdebug.exe" "$stage/"
cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$mingw_runtime/libstdc++-6.dll" "$mingw_runtime/libgcc_s_seh-1.dll" \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$stage/"
cp /usr/share/qt6/translations/qtbase_zh_CN.qm /usr/share/qt6/translations/qt_zh_CN.qm "$stage/translations/"
# Qt finds its plugins and translations beside the program.
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' >"$stage/qt.conf"
cp "$out/app/serialdebug.ico" "$stage/"

# Licences: the program's, Qt's LGPL-3.0 with where its source is, the MinGW runtime's.
sed 's/$/\r/' "$repo/LICENSE" >"$stage/LICENSE.txt"
{
    echo "This program uses Qt 6.4.2 (Qt Core, Qt Gui, Qt Widgets), under the GNU Lesser General"
    echo "Public License version 3, whose text follows. The DLLs were built unchanged (but for the"
    echo "build switches in scripts/windows/qt.sh) from Debian's source package qt6-base"
    echo "6.4.2+dfsg-10: https://sources.debian.org/src/qt6-base/6.4.2+dfsg-10/"
    echo
    cat /usr/share/common-licenses/LGPL-3
    echo
    cat /usr/share/common-licenses/GPL-3
} | sed 's/$/\r/' >"$stage/LICENSE-Qt.txt"
{
    echo "libstdc++-6.dll and libgcc_s_seh-1.dll: GCC's runtime, GPL-3.0 with the GCC Runtime"
    echo "Library Exception; libwinpthread-1.dll: MinGW-w64's winpthreads, MIT licence."
    echo "Sources: Debian's gcc-mingw-w64 and mingw-w64 packages."
} | sed 's/$/\r/' >"$stage/LICENSE-MinGW.txt"

(cd "$package" && zip -qr "serialdebug-$version-win64.zip" "$(basename "$stage")")

# The uninstaller deletes exactly the files the installer put there.
filelist="$package/files.nsh"
(cd "$stage" && find . -type f | sed 's|^\./||; s|/|\\|g; s|^|    Delete "$INSTDIR\\|; s|$|"|') >"$filelist"
setup="$package/serialdebug-$version-setup.exe"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" -DFILELIST="$filelist" "$here/installer.nsi"
echo "made $package/serialdebug-$version-win64.zip and $setup"

if [ $check -eq 1 ]; then
    bash "$here/check-installer.sh" "$setup"
fi
