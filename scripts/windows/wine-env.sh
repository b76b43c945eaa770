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
