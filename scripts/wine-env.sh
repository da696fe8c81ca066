# Sourced by test.sh, or by hand before `ctest --preset windows-cross`:
# a private Wine prefix inside the Windows build folder that needs no display
# (null graphics driver), quiet Wine, and one wineserver kept alive for the
# run so that each test executable starts in well under a second.
#
#   source scripts/wine-env.sh    # prepares the prefix (once), starts the server
#   skyfault_wine_stop            # ends the server and Wine's own processes
#
# WINEPREFIX may be set beforehand to use another folder.

_skyfault_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$_skyfault_root/build-win/wineprefix}"
export WINEDEBUG=-all
# No Mono and no Gecko: nothing here needs them, and they would be fetched.
export WINEDLLOVERRIDES="mscoree,mshtml="
# How long the wineserver outlives the last test program, in seconds: the
# server ends by itself when a run is cut short.
SKYFAULT_WINE_IDLE_SECONDS="${SKYFAULT_WINE_IDLE_SECONDS:-600}"

skyfault_wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}

skyfault_wine_start() {
    # A persistent server for this prefix (a no-op when one runs), and Wine's
    # own background processes (services, explorer...) started here with
    # their output going nowhere: started by the first test instead, they
    # would hold that test's output pipe open, and CTest waits for it.
    wineserver "-p$SKYFAULT_WINE_IDLE_SECONDS" >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

_skyfault_wine_ready() {
    [ -f "$WINEPREFIX/.skyfault-ready" ] && [ -f "$WINEPREFIX/system.reg" ] &&
        grep -qs '^"Graphics"="null"' "$WINEPREFIX/user.reg"
}

_skyfault_wine_prepare() {
    local log="$WINEPREFIX.log"
    echo "Preparing the Wine prefix $WINEPREFIX" >&2
    mkdir -p "$WINEPREFIX" || return 1
    rm -f "$WINEPREFIX/.skyfault-ready"
    # No display is needed nor used, whatever DISPLAY says.
    if ! DISPLAY= WAYLAND_DISPLAY= wineboot --init >"$log" 2>&1; then
        echo "wineboot failed; its output:" >&2
        cat "$log" >&2
        return 1
    fi
    if ! DISPLAY= WAYLAND_DISPLAY= wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
        >>"$log" 2>&1; then
        echo "setting the null graphics driver failed; output:" >&2
        cat "$log" >&2
        return 1
    fi
    # Let the server write the registry out before checking it.
    wineserver -w >/dev/null 2>&1 || true
    if ! grep -qs '^"Graphics"="null"' "$WINEPREFIX/user.reg"; then
        echo "the Wine prefix $WINEPREFIX lacks the null graphics driver" >&2
        return 1
    fi
    touch "$WINEPREFIX/.skyfault-ready"
}

if ! _skyfault_wine_ready; then
    _skyfault_wine_prepare || return 1
fi
skyfault_wine_start
