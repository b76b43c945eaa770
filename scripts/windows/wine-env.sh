# Sourced by the Windows scripts: the private Wine prefix under build-win64/ and where Windows
# programs built there find their DLLs (Qt's, the MinGW runtime's) and Qt's plugins.
# Needs $repo set to the repository root.
out="$repo/build-win64"
export WINEPREFIX="$out/wine"
export WINEARCH=win64
# Wine's own traces are off unless SERIALDEBUG_WINEDEBUG asks for some (e.g. "+comm,+serial").
export WINEDEBUG="${SERIALDEBUG_WINEDEBUG:--all}"
# No Mono or Gecko installer dialogues while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
qt="${XDG_CACHE_HOME:-$HOME/.cache}/serialdebug/qt6-mingw"
mingw_runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"

windows_path() { echo "Z:${1//\//\\}"; }

export WINEPATH="$(windows_path "$qt/bin");$(windows_path "$mingw_runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
export QT_PLUGIN_PATH="$(windows_path "$qt/plugins")"
export QT_QPA_PLATFORM=offscreen

# Makes the prefix once; waits until its start-up has finished.
ensure_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
}

# Waits up to 20 s for a command to succeed.
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

far="$out/far-side"
far_pid=""
link_points_to_far_side() { [ "$(readlink "$WINEPREFIX/dosdevices/com1" 2>/dev/null)" = "$far/com1" ]; }

# Starts tests/windows/far_side.py on a pseudo-terminal behind $far/com1, maps Wine's COM1 to it
# and starts one Wine server for what follows, its messages in $1/wineserver.log. Sets
# SERIALDEBUG_FAR_SIDE_PORT to the TCP port the far side takes orders on.
start_far_side() {
    ensure_wine_prefix
    mkdir -p "$far" "$1"
    rm -f "$far/port"
    python3 "$repo/tests/windows/far_side.py" "$far/com1" "$far/port" >"$far/log" 2>&1 &
    far_pid=$!
    wait_for test -s "$far/port" || { echo "far_side.py did not start:"; cat "$far/log"; return 1; }
    # Wine makes its COM links from this key when it starts (a link made by hand alone is
    # replaced then), so the server is restarted after the key is set.
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$far/com1" /f >/dev/null
    wineserver -k 2>/dev/null || true
    wineserver -w
    wineserver -p >"$1/wineserver.log" 2>&1
    wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >/dev/null 2>&1 || true
    wait_for link_points_to_far_side || { echo "Wine did not map COM1 to $far/com1"; return 1; }
    export SERIALDEBUG_FAR_SIDE_PORT="$(cat "$far/port")"
}

stop_far_side() {
    if [ -n "$far_pid" ]; then
        kill "$far_pid" 2>/dev/null || true
        wait "$far_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
}
