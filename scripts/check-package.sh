#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user meets it: lintian, the desktop entry and
# the AppStream metainfo validators; then installs it, starts the installed /usr/bin/serialdebug
# under Xvfb as an ordinary user with a fresh home folder, closes its windows through the window
# manager's close request, checks that ~/.config/serialdebug/Config.ini was written, and removes
# the package again. Runs as root (it installs packages and adds a user), as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
    echo "check-package.sh installs a package and adds a user: run it as root" >&2
    exit 1
fi
bash scripts/setup-debian.sh lintian desktop-file-utils appstream xvfb xauth xdotool wmctrl matchbox-window-manager

package=$(bash scripts/package.sh | tail -n 1)
version=$(dpkg-deb -f "$package" Version)
user=serialdebug-check
home=""

cleanup() {
    if dpkg-query -W -f='${Status}' serialdebug 2>/dev/null | grep -q 'install ok installed'; then
        dpkg -r serialdebug > /dev/null
    fi
    if id "$user" > /dev/null 2>&1; then
        userdel "$user"
    fi
    if [ -n "$home" ]; then
        rm -rf "$home"
    fi
}
trap cleanup EXIT
cleanup

echo "== lintian"
lintian --fail-on error,warning "$package"

echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$package" > /dev/null
desktop-file-validate /usr/share/applications/serialdebug.desktop
appstreamcli validate --no-net --pedantic /usr/share/metainfo/org.example.serialdebug.metainfo.xml
test "$(env -u DISPLAY /usr/bin/serialdebug --version)" = "serialdebug $version"
env -u DISPLAY /usr/bin/serialdebug --help > /dev/null
status=0
env -u DISPLAY /usr/bin/serialdebug --no-such-option 2> /dev/null || status=$?
test "$status" -eq 2

echo "== start and close as an ordinary user"
home=$(mktemp -d /tmp/serialdebug-home.XXXXXX)
useradd --no-create-home --home-dir "$home" --shell /bin/sh "$user"
chown "$user:" "$home"

# Starts the window manager and waits until it runs. On a loaded machine the display may
# refuse the first connections, and a manager that cannot connect ends at once.
start_window_manager() {
    for _ in $(seq 100); do
        if [ -z "$manager" ] || ! kill -0 "$manager" 2> /dev/null; then
            matchbox-window-manager > /dev/null 2>&1 &
            manager=$!
        fi
        wmctrl -m > /dev/null 2>&1 && return 0
        sleep 0.2
    done
    echo "the window manager did not start" >&2
    return 1
}

# Runs inside the X session as the user: a window manager turns a close request into the
# window's own close; every window the program shows (first the message that the saved port
# cannot open, then the main window) is closed until the program has ended.
session() {
    set -euo pipefail
    local manager=""
    start_window_manager
    /usr/bin/serialdebug > "$HOME/serialdebug.log" 2>&1 &
    local program=$!
    local closed=0
    for _ in $(seq 120); do
        kill -0 "$program" 2> /dev/null || break
        for window in $(xdotool search --onlyvisible --pid "$program" 2> /dev/null); do
            echo "closing \"$(xdotool getwindowname "$window")\""
            wmctrl -i -c "$window" && closed=$((closed + 1))
        done
        sleep 0.5
    done
    local status=0
    if kill -0 "$program" 2> /dev/null; then
        echo "the program did not end after its windows were closed" >&2
        kill "$program"
        status=1
    fi
    wait "$program" || status=$?
    kill "$manager"
    cat "$HOME/serialdebug.log"
    if [ "$closed" -eq 0 ]; then
        echo "the program showed no window" >&2
        status=1
    fi
    return "$status"
}

runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c "$(declare -f start_window_manager session); session"

config="$home/.config/serialdebug/Config.ini"
test -f "$config" || { echo "$config was not written" >&2; exit 1; }
grep -q '^\[Setting\]' "$config"
grep -q '^Port=0' "$config"
test -f "$home/.config/serialdebug/Default.pol"
test "$(stat -c %a "$home/.config/serialdebug")" = 700
test ! -e /usr/bin/Config.ini
echo "written: $config"
cat "$config"

echo "== remove"
dpkg -r serialdebug > /dev/null
test ! -e /usr/bin/serialdebug
test ! -e /usr/share/applications/serialdebug.desktop
echo "package $package: lintian clean, validated, installed, started, closed, settings written, removed"
