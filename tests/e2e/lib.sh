# Helpers of the end-to-end tests (sourced by bash).
# Every test works in a private folder with a private XDG_RUNTIME_DIR, so
# that its program, stand-in and sound server meet nobody else's.

e2e_setup() {
    E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/skyfault-e2e.XXXXXX")
    export XDG_RUNTIME_DIR="$E2E_DIR/runtime"
    export HOME="$E2E_DIR/home"
    mkdir -p "$XDG_RUNTIME_DIR" "$HOME" "$E2E_DIR/work"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset PULSE_SERVER DISPLAY WAYLAND_DISPLAY
    E2E_PIDS=()
    trap e2e_cleanup EXIT
}

e2e_cleanup() {
    local pid
    for pid in "${E2E_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${E2E_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "${E2E_KEEP:-}" ]; then
        echo "kept $E2E_DIR"
    else
        rm -rf "$E2E_DIR"
    fi
}

e2e_need() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIPPED: $tool is not installed"
            exit 77
        fi
    done
}

fail() {
    echo "FAILED: $*"
    local log
    for log in "$E2E_DIR"/*.log; do
        [ -f "$log" ] || continue
        echo "--- $(basename "$log")"
        tail -n 40 "$log"
    done
    exit 1
}

# wait_for FILE PATTERN SECONDS: waits until a line of FILE matches the
# fixed text PATTERN.
wait_for() {
    local file=$1 pattern=$2 seconds=$3 i
    for ((i = 0; i < seconds * 10; i++)); do
        if [ -f "$file" ] && grep -qF -- "$pattern" "$file"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# wait_exit PID SECONDS: waits for a background process to end; its exit
# code is left in E2E_STATUS. An ended process leaves E2E_PIDS, so that the
# clean-up never signals a later process that got its id.
wait_exit() {
    local pid=$1 seconds=$2 i other left
    for ((i = 0; i < seconds * 10; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            E2E_STATUS=$?
            left=()
            for other in "${E2E_PIDS[@]}"; do
                [ "$other" = "$pid" ] || left+=("$other")
            done
            E2E_PIDS=("${left[@]}")
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# A configuration that allows only Pitot, failing at every check (rate 1,
# every window open), checked every second.
write_pitot_config() {
    local file=$1 audio=$2 sound=$3 key
    {
        printf '[General]\r\nRate=1000\r\nFrequency=1\r\nActivated=1\r\n'
        printf 'AudioNotification=%s\r\nVisualNotification=1\r\nFuelLeakSpeed=1\r\nPauseWithSim=0\r\n\r\n' "$audio"
        printf '[Failures]\r\n'
        for key in ADF AirspeedIndicator Altimeter AttitudeIndicator COMradio Compass Electrics \
            EngineGauge FuelIndicators HeadingIndicator NAVradios Pitot Transponder TurnCoordinator \
            Vacuum VerticalSpeedIndicator Engine1 Engine2 Engine3 Engine4 LandingGear LeftTank \
            RightTank CenterTank Flaps; do
            if [ "$key" = Pitot ]; then printf '%s=1\r\n' "$key"; else printf '%s=0\r\n' "$key"; fi
        done
        printf '\r\n[Sounds]\r\nDefaultSound=\r\nSoundFile11=%s\r\n\r\n[Systems]\r\n' "$sound"
        printf 'PitotStr=1,0,999,-50,100,-999,99999,C\r\n'
    } >"$file"
}

# start_sim BINARY: the stand-in, taking commands from the pipe on fd 7.
start_sim() {
    mkfifo "$E2E_DIR/sim.in"
    "$1" <"$E2E_DIR/sim.in" >"$E2E_DIR/sim.log" 2>&1 &
    E2E_SIM=$!
    E2E_PIDS+=("$E2E_SIM")
    exec 7>"$E2E_DIR/sim.in"
    wait_for "$E2E_DIR/sim.log" ready 20 || fail "the stand-in did not get ready"
}

# start_app BINARY: the program under Xvfb in the work folder, with its test
# hooks on, taking hook commands from the pipe on fd 8.
start_app() {
    mkfifo "$E2E_DIR/app.in"
    (cd "$E2E_DIR/work" && SKYFAULT_TEST_HOOKS=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$1") \
        <"$E2E_DIR/app.in" >"$E2E_DIR/app.log" 2>&1 &
    E2E_APP=$!
    E2E_PIDS+=("$E2E_APP")
    exec 8>"$E2E_DIR/app.in"
}

app_command() {
    echo "$1" >&8
}
