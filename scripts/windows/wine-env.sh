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
net_far_pid=""
ser2net_pid=""
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

# Starts ser2net on 127.0.0.1 in front of a second far side ($far/net1), so that network ports
# meet a real server: sets SERIALDEBUG_SER2NET_URL (RFC 2217), SERIALDEBUG_SER2NET_RAW_URL (raw
# TCP) and SERIALDEBUG_SER2NET_FAR_SIDE_PORT. Its log goes to $1/ser2net.log.
start_ser2net() {
    rm -f "$far/net1.port"
    python3 "$repo/tests/windows/far_side.py" "$far/net1" "$far/net1.port" >"$far/net1.log" 2>&1 &
    net_far_pid=$!
    wait_for test -s "$far/net1.port" || { echo "far_side.py did not start:"; cat "$far/net1.log"; return 1; }
    local port raw
    read -r port raw < <(python3 -c 'import socket
free = [socket.socket() for _ in range(2)]
for s in free:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in free))')
    cat >"$far/ser2net.yaml" <<YAML
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$port
  connector: serialdev,$far/net1,9600n81,local
  options:
    kickolduser: true
connection: &raw
  accepter: tcp,127.0.0.1,$raw
  connector: serialdev,$far/net1,9600n81,local
  options:
    kickolduser: true
YAML
    ser2net -n -u -c "$far/ser2net.yaml" -P "$far/ser2net.pid" >"$1/ser2net.log" 2>&1 &
    ser2net_pid=$!
    # Listening, from the kernel's table: a connection to look would take ser2net's one.
    local listening
    listening=":$(printf '%04X' "$port") 00000000:0000 0A"
    wait_for grep -q "$listening" /proc/net/tcp || { echo "ser2net did not start:"; cat "$1/ser2net.log"; return 1; }
    export SERIALDEBUG_SER2NET_URL="rfc2217://127.0.0.1:$port"
    export SERIALDEBUG_SER2NET_RAW_URL="tcp://127.0.0.1:$raw"
    export SERIALDEBUG_SER2NET_FAR_SIDE_PORT="$(cat "$far/net1.port")"
}

stop_far_side() {
    for pid in "$ser2net_pid" "$net_far_pid" "$far_pid"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    wineserver -k 2>/dev/null || true
}
