#!/usr/bin/env bash
# Installs the given installer silently (/S) in the private Wine prefix, checks the program,
# its Start-menu entry and the uninstaller are there, puts a settings file beside the program
# as a user's would be, uninstalls silently, and checks that everything but the settings went.
# Usage: scripts/windows/check-installer.sh serialdebug-<version>-setup.exe
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
setup="$(realpath "$1")"
source "$here/wine-env.sh"
ensure_wine_prefix
trap 'wineserver -k 2>/dev/null || true' EXIT

folder="$WINEPREFIX/drive_c/Program Files/serialdebug"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/串口调试.lnk"
fail() { echo "installer check: $*"; exit 1; }

rm -rf "$folder"
wine "$setup" /S
wineserver -w
for file in serialdebug.exe Qt6Core.dll platforms/qwindows.dll translations/qtbase_zh_CN.qm uninstall.exe; do
    [ -f "$folder/$file" ] || fail "$file was not installed"
done
[ -f "$menu" ] || fail "no Start-menu entry at $menu"
printf '[Main]\r\n' >"$folder/Config.ini"

wine "$folder/uninstall.exe" /S
wineserver -w
# The uninstaller runs a copy of itself from the temporary folder: wait until it has gone.
for _ in $(seq 50); do
    [ ! -f "$folder/serialdebug.exe" ] && [ ! -f "$folder/uninstall.exe" ] && break
    sleep 0.2
done
[ ! -f "$folder/serialdebug.exe" ] || fail "the program stayed after uninstalling"
[ ! -f "$folder/uninstall.exe" ] || fail "the uninstaller stayed"
[ ! -f "$menu" ] || fail "the Start-menu entry stayed"
[ -f "$folder/Config.ini" ] || fail "the user's settings went with the program"
leftover="$(cd "$folder" && find . -mindepth 1 | grep -v '^\./Config\.ini$' || true)"
[ -z "$leftover" ] || fail "left behind: $leftover"
rm -rf "$folder"
echo "installer check: installs and uninstalls silently; the settings stay"
