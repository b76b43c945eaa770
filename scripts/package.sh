#!/usr/bin/env bash
# Builds the Debian package build-package/serialdebug_VERSION_ARCH.deb: the terminal in /usr/bin
# with its desktop entry, icons, AppStream metainfo and manual page. The version is the
# project's (CMakeLists.txt); the dependencies are computed from the binary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh dpkg-dev
umask 022
export DEB_BUILD_MAINT_OPTIONS=hardening=+all

dir=build-package
# The tree laid out as dpkg-shlibdeps expects a source tree: debian/control and the package's
# files in debian/serialdebug.
tree="$dir/deb"
stage="$tree/debian/serialdebug"
# Debian's own compiler and linker flags (optimisation, hardening), as for any Debian package.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" --target serialdebug packaging-files

version=$("$dir/app/serialdebug" --version | cut -d' ' -f2)
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
if [ "$version" != "$changelog_version" ]; then
    echo "packaging/changelog is at $changelog_version, the project at $version: add a changelog entry" >&2
    exit 1
fi
architecture=$(dpkg --print-architecture)

rm -rf "$tree"
DESTDIR="$PWD/$stage" cmake --install "$dir" --strip
strip --remove-section=.comment --remove-section=.note "$stage/usr/bin/serialdebug"

mkdir -p "$stage/DEBIAN"
printf 'Source: serialdebug\n\nPackage: serialdebug\nArchitecture: any\n' > "$tree/debian/control"
shlibs=$(cd "$tree" && dpkg-shlibdeps -O debian/serialdebug/usr/bin/serialdebug | sed -n 's/^shlibs:Depends=//p')

cat > "$stage/DEBIAN/control" <<CONTROL
Package: serialdebug
Version: $version
Architecture: $architecture
Maintainer: serialdebug developers <serialdebug@example.org>
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $shlibs, qt6-translations-l10n
Section: electronics
Priority: optional
Homepage: https://example.org/serialdebug
Description: serial-port debugging terminal
 A desktop terminal for exercising devices on a serial port: it shows
 received bytes as text or hexadecimal, sends typed text or hexadecimal by
 hand or on a timer, answers incoming data with auto-reply rules, keeps a
 list of captioned messages to send by double-click or in a cycle, appends
 a CRC-16/MODBUS check and saves the received data. Its window is in
 Chinese.
CONTROL
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum > DEBIAN/md5sums)

package="$dir/serialdebug_${version}_${architecture}.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$package"
echo "$package"
