# Helpers of the end-to-end tests (sourced by bash). Every test works in a
# private folder with a private XDG_RUNTIME_DIR, so that its program,
# stand-in and sound server meet nobody else's.

# e2e_setup TOOL...: skips (77) when a tool is missing, else makes the folder.
e2e_setup() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
    done
    E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/skyfault-e2e.XXXXXX") E2E_PIDS=()
    export XDG_RUNTIME_DIR="$E2E_DIR/runtime" HOME="$E2E_DIR/home"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$HOME" "$E2E_DIR/work"
    unset PULSE_SERVER DISPLAY WAYLAND_DISPLAY
    trap e2e_cleanup EXIT
}
# A program still running goes with its X server (start_app gives them a
# process group of their own: xvfb-run, ended, would leave both behind).
e2e_cleanup() {
    [[ " ${E2E_PIDS[*]} " != *" ${E2E_APP:-none} "* ]] || kill -- "-$E2E_APP" 2>/dev/null
    kill "${E2E_PIDS[@]}" 2>/dev/null
    wait "${E2E_PIDS[@]}"
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$E2E_DIR"
}

fail() { echo "FAILED: $*"; tail -n 40 "$E2E_DIR"/*.log; exit 1; }

# wait_for FILE TEXT SECONDS [COUNT]: until COUNT (1) lines of FILE hold the
# fixed TEXT.
wait_for() {
    for ((i = 0; i < $3 * 10; i++)); do
        [ "$(grep -csF -- "$2" "$1")" -ge "${4:-1}" ] && return 0 || sleep 0.1
    done
    return 1
}

# wait_exit PID SECONDS: waits for a background process to end and leaves
# its exit code in E2E_STATUS; the clean-up then never signals a later
# process that got its id.
wait_exit() {
    for ((i = 0; i < $2 * 10; i++)); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1"
            E2E_STATUS=$?
            mapfile -t E2E_PIDS < <(printf '%s\n' "${E2E_PIDS[@]}" | grep -vxe "$1" -e '')
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# write_pitot_config FILE AUDIO SOUND [KNOTS]: only Pitot allowed, failing at
# every check (rate 1, every window open, or from KNOTS up), checked every second.
write_pitot_config() {
    {
        printf '[General]\r\nRate=1000\r\nFrequency=1\r\nActivated=1\r\nAudioNotification=%s\r\n' "$2"
        printf 'VisualNotification=1\r\nFuelLeakSpeed=1\r\nPauseWithSim=0\r\n\r\n[Failures]\r\nPitot=1\r\n'
        printf '%s=0\r\n' ADF AirspeedIndicator Altimeter AttitudeIndicator COMradio Compass Electrics \
            EngineGauge FuelIndicators HeadingIndicator NAVradios Transponder TurnCoordinator Vacuum \
            VerticalSpeedIndicator Engine1 Engine2 Engine3 Engine4 LandingGear LeftTank RightTank \
            CenterTank Flaps
        printf '\r\n[Sounds]\r\nDefaultSound=\r\nSoundFile11=%s\r\n\r\n[Systems]\r\n' "$3"
        printf 'PitotStr=1,%s,999,-50,100,-999,99999,C\r\n' "${4:-0}"
    } >"$1"
}

# start_sim [wine] BINARY [OPTION...]: the stand-in, taking commands from the
# pipe on fd 7 (a new one for a stand-in started again).
start_sim() {
    exec 7>&-
    rm -f "$E2E_DIR/sim.in"
    mkfifo "$E2E_DIR/sim.in"
    "$@" <"$E2E_DIR/sim.in" >"$E2E_DIR/sim.log" 2>&1 &
    E2E_SIM=$! E2E_PIDS+=($!)
    exec 7>"$E2E_DIR/sim.in"
    wait_for "$E2E_DIR/sim.log" ready 30 || fail "the stand-in did not get ready"
}

# start_app BINARY: the program (skyfault-e2e) under Xvfb in the work folder,
# taking its hooks' commands from the pipe on fd 8.
start_app() {
    exec 8>&-
    rm -f "$E2E_DIR/app.in" "$E2E_DIR/app.log"
    mkfifo "$E2E_DIR/app.in"
    (cd "$E2E_DIR/work" && exec setsid xvfb-run -a -s "-screen 0 1280x1024x24" "$1") \
        <"$E2E_DIR/app.in" >"$E2E_DIR/app.log" 2>&1 &
    E2E_APP=$! E2E_PIDS+=($!)
    exec 8>"$E2E_DIR/app.in"
}

# The Linux program's side of the steps below: app_menu NAME triggers that
# menu item, app_title TEXT SECONDS waits for the title, app_rows N SECONDS
# prints the Failure Log's rows ("CELL | CELL | ..."; the Windows tests'
# tests/wine/lib.sh has its own).
app_menu() { echo "trigger $1" >&8; }
app_title() {
    for ((i = 0; i < $2 * 10; i++)); do
        [ "$(grep -s '^title: ' "$E2E_DIR/app.log" | tail -n 1)" = "title: $1" ] && return 0 || sleep 0.1
    done
    return 1
}
app_rows() {
    echo rows >&8
    wait_for "$E2E_DIR/app.log" "done: rows" "$2" && sed -n 's/^row: //p' "$E2E_DIR/app.log" | tail -n "$1"
}

# app_exit: File > Exit, which must end the program with status 0.
app_exit() {
    app_menu mnuFileExit
    wait_exit "$E2E_APP" 30 || fail "File > Exit did not end the program"
    [ "$E2E_STATUS" -eq 0 ] || fail "the program ended with $E2E_STATUS"
}

# repair_and_log FOLDER: Flight > Repair All Systems writes Pitot's flag back
# to 0, and Pitot, eligible again, fails at the next check; the Failure Log
# and FOLDER/skyfault-log.csv show the failure, the repair and the failure
# again, with the stand-in's readings.
repair_and_log() {
    app_menu mnuFlightRepair
    wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 00" 10 || fail "Repair wrote no 0 to Pitot's flag"
    wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 10 2 || fail "the repaired Pitot did not fail again"
    app_menu mnuFlightLog
    local rows
    rows=$(app_rows 3 20) || fail "the Failure Log's rows were not read"
    [ "$(sed 's/^[^|]*|[^|]*| //' <<<"$rows")" = "$(printf '%s\n' 'Failure | Pitot | 120 | 15.0 | 328' \
        'Repair | Pitot |  |  | ' 'Failure | Pitot | 120 | 15.0 | 328')" ] || fail "the Failure Log lists $rows"
    diff <(sed 's/ | /,/g' <<<"$rows") <(tail -n +2 "$1/skyfault-log.csv" | tr -d '\r') ||
        fail "skyfault-log.csv differs from the Failure Log"
}

# follow_stand_in START_SIM...: the stand-in quits and starts again as
# WideClient's: the title follows it, and Pitot, due from 200 kt, fails on
# the new one.
follow_stand_in() {
    echo quit >&7
    wait_exit "$E2E_SIM" 15 || fail "the stand-in did not quit"
    app_title "Skyfault Error: Cannot link to FSUIPC or WideClient" 6 ||
        fail "the title still says connected 5 s after the stand-in quit"
    "$@" --class FS98MAIN
    app_title "Skyfault Connected" 10 || fail "the stand-in started again was not found within 10 s"
    echo "set ias 250" >&7
    wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 10 || fail "the new stand-in saw no Pitot failure"
}
