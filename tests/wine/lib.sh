# Helpers of the Windows end-to-end tests (sourced after tests/e2e/lib.sh):
# a private copy of the prepared Wine prefix, its own wineserver and, for
# the X11 driver, its own Xvfb; all end with the test, however it ends, and
# every wait has a limit.

# wine_setup null|x11 TOOL...: skips (77) without a TOOL, else the prefix with that
# graphics driver, Wine's desktop up.
wine_setup() {
    local template=${SKYFAULT_WINE_TEMPLATE:-${WINEPREFIX:-}}
    e2e_setup "${@:2}"
    trap wine_cleanup EXIT
    trap 'exit 1' TERM INT
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$E2E_DIR/prefix"
    if [ -f "$template/.skyfault-ready" ]; then
        cp -a "$template" "$WINEPREFIX" || fail "cannot copy the Wine prefix $template"
    else
        (source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh" && skyfault_wine_stop) >"$E2E_DIR/prefix.log" 2>&1 ||
            fail "cannot make a Wine prefix"
    fi
    sed -i '/^"Graphics"=/d' "$WINEPREFIX/user.reg"
    if [ "$1" = null ]; then
        printf '\n[Software\\\\Wine\\\\Drivers] 1700000000\n"Graphics"="null"\n' >>"$WINEPREFIX/user.reg"
    else
        # No window manager on the Xvfb: Wine draws the frames (Marlett's buttons).
        printf '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Decorated"="N"\n"Managed"="N"\n' \
            >>"$WINEPREFIX/user.reg"
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
        Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$E2E_DIR/display" 2>/dev/null &
        E2E_XVFB=$!
        wait_for "$E2E_DIR/display" "" 10 || fail "Xvfb did not start"
        export DISPLAY=":$(tr -d '\n' <"$E2E_DIR/display")"
    fi
    wineserver -p60 || fail "no wineserver"
    timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || fail "Wine does not start"
    drive desktop >/dev/null || fail "Wine's desktop does not start"
}

wine_cleanup() {
    local status=$?
    [ ! -d "${WINEPREFIX:-}" ] || timeout 20 wineserver -k >/dev/null 2>&1
    e2e_cleanup
    [ -z "${E2E_XVFB:-}" ] || { kill "$E2E_XVFB" && wait "$E2E_XVFB"; } 2>/dev/null
    exit "$status"
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }  # Wine's Z: drive

# drive STEP...: skyfault-windriver (tests/wine/driver.cpp), its output also in driver.log.
# Every step of the driver says something; one that ends without a word never
# ran (Wine, under a heavy load, now and then fails to start a process) and is
# started once more.
drive() {
    local out status attempt
    for attempt in 1 2; do
        out=$(timeout 120 wine "$E2E_DRIVER" "$@" </dev/null 2>&1; printf '\n%s' "$?")
        status=${out##*$'\n'} out=${out%$'\n'*}
        out=${out%$'\n'} out=${out//$'\r'/}
        [ -n "$out" ] && printf '%s\n' "$out" | tee -a "$E2E_DIR/driver.log"
        [ "$status" -ne 0 ] && [ -z "$out" ] && [ "$attempt" -eq 1 ] || return "$status"
        echo "(skyfault-windriver $1 ended with $status without a word: started again)" >>"$E2E_DIR/driver.log"
    done
}

start_wine_sim() { start_sim wine "$@"; }  # SIM [OPTION...]: skyfault-sim.exe

# start_wine_app EXE FOLDER: the program, started in FOLDER.
start_wine_app() {
    (cd "$2" && exec wine "$(winpath "$1")") </dev/null >"$E2E_DIR/app.log" 2>&1 &
    E2E_APP=$! E2E_PIDS+=($!)
}

# The Windows program's side of the steps of tests/e2e/lib.sh.
app_menu() { drive command main "$1" >/dev/null || fail "cannot send $1"; }
app_title() { drive wait-title main "$1" "$2" >/dev/null; }
app_rows() { drive rows failurelog "$1" "$2" | sed 's/^row //'; }
