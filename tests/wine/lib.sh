# Helpers of the Windows end-to-end tests (sourced by bash after
# tests/e2e/lib.sh). Each test gets a private copy of a prepared Wine prefix,
# its own wineserver and, for the X11 driver, its own Xvfb; all of them end
# with the test, however it ends (wineserver -k for that prefix only, Xvfb by
# its pid). Every wait has a limit, so a hung Wine never hangs the run.

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# wine_setup null|x11: a private prefix with that graphics driver (x11 also
# starts Xvfb and sets DISPLAY), Wine's own processes started and ready.
wine_setup() {
    local driver=$1 template=${SKYFAULT_WINE_TEMPLATE:-${WINEPREFIX:-}}
    e2e_setup
    trap wine_cleanup EXIT
    trap 'exit 1' TERM INT
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPREFIX="$E2E_DIR/prefix"
    if [ -n "$template" ] && [ -f "$template/.skyfault-ready" ] && [ -f "$template/user.reg" ]; then
        # scripts/wine-env.sh prepared it once; a copy takes a second.
        cp -a "$template" "$WINEPREFIX" || fail "cannot copy the Wine prefix $template"
    else
        # Made here as scripts/wine-env.sh makes it, then its server ended.
        echo "no prepared Wine prefix (source scripts/wine-env.sh first); making one"
        (source "$E2E_ROOT/scripts/wine-env.sh" && skyfault_wine_stop) >"$E2E_DIR/prefix.log" 2>&1 ||
            fail "cannot make a Wine prefix: $(tail -n 20 "$E2E_DIR/prefix.log")"
        timeout 30 wineserver -w
    fi
    # The graphics driver: null, or X11 drawing its own window frames (no
    # window manager runs on the Xvfb).
    sed -i '/^"Graphics"=/d' "$WINEPREFIX/user.reg"
    if [ "$driver" = null ]; then
        printf '\n[Software\\\\Wine\\\\Drivers] 1700000000\n"Graphics"="null"\n' \
            >>"$WINEPREFIX/user.reg"
        unset DISPLAY
    else
        printf '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Decorated"="N"\n"Managed"="N"\n' \
            >>"$WINEPREFIX/user.reg"
        start_xvfb
        # The caption buttons Wine draws come from the Marlett font.
        if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
            cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
    fi
    wine_watchdog "${SKYFAULT_WINE_TEST_LIMIT:-240}"
    # One server for the whole test, and Wine's background processes started
    # before any program of ours needs the desktop.
    wineserver -p60 || fail "no wineserver"
    timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || fail "Wine does not start"
    drive desktop >/dev/null || fail "Wine's desktop does not start"
}

# wine_watchdog SECONDS: past that time (well inside CTest's limit), ends
# this prefix's Wine processes and the Xvfb, so that whatever the test waits
# for returns, and then the test itself, whose cleanup then runs.
wine_watchdog() {
    local limit=$1 test_pid=$$
    (
        sleep "$limit" &
        nap=$!
        trap 'kill "$nap" 2>/dev/null; exit 0' TERM
        wait "$nap" || exit 0
        echo "FAILED: the test ran over $limit s; ending its Wine and Xvfb"
        timeout 20 wineserver -k >/dev/null 2>&1
        [ -z "${E2E_XVFB:-}" ] || kill "$E2E_XVFB" 2>/dev/null
        kill -TERM "$test_pid"
    ) &
    E2E_WATCHDOG=$!
}

start_xvfb() {
    e2e_need Xvfb
    Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$E2E_DIR/display" \
        >"$E2E_DIR/xvfb.log" 2>&1 &
    E2E_XVFB=$!
    local i
    for ((i = 0; i < 100; i++)); do
        [ -s "$E2E_DIR/display" ] && break
        kill -0 "$E2E_XVFB" 2>/dev/null || fail "Xvfb did not start"
        sleep 0.1
    done
    [ -s "$E2E_DIR/display" ] || fail "Xvfb gave no display number"
    export DISPLAY=":$(tr -d '\n' <"$E2E_DIR/display")"
}

wine_cleanup() {
    local status=$?
    if [ -n "${E2E_WATCHDOG:-}" ]; then
        kill "$E2E_WATCHDOG" 2>/dev/null || true
        wait "$E2E_WATCHDOG" 2>/dev/null || true
    fi
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        timeout 20 wineserver -k >/dev/null 2>&1 || true
    fi
    e2e_cleanup
    if [ -n "${E2E_XVFB:-}" ]; then
        kill "$E2E_XVFB" 2>/dev/null || true
        wait "$E2E_XVFB" 2>/dev/null || true
    fi
    exit "$status"
}

# A Windows path for a Linux one (Wine's Z: drive).
winpath() {
    printf 'Z:%s' "${1//\//\\}"
}

# drive STEP...: skyfault-windriver with the steps (see tests/wine/driver.cpp);
# its output goes to driver.log as well; the whole run is limited to 120 s.
drive() {
    timeout 120 wine "$E2E_DRIVER" "$@" </dev/null 2>&1 | tr -d '\r' | tee -a "$E2E_DIR/driver.log"
    return "${PIPESTATUS[0]}"
}

# start_wine_sim SIM: skyfault-sim.exe, commands from the pipe on fd 7.
start_wine_sim() {
    mkfifo "$E2E_DIR/sim.in"
    wine "$1" <"$E2E_DIR/sim.in" >"$E2E_DIR/sim.log" 2>&1 &
    E2E_SIM=$!
    E2E_PIDS+=("$E2E_SIM")
    exec 7>"$E2E_DIR/sim.in"
    wait_for "$E2E_DIR/sim.log" ready 30 || fail "the stand-in did not get ready"
}

# start_wine_app EXE FOLDER: the program, started in FOLDER.
start_wine_app() {
    (cd "$2" && exec wine "$1") </dev/null >"$E2E_DIR/app.log" 2>&1 &
    E2E_APP=$!
    E2E_PIDS+=("$E2E_APP")
}
