#!/usr/bin/env bash
# The real program under Xvfb beside the simulator stand-in: the title shows
# the connection, Pitot (allowed to fail at every check) is failed in the
# stand-in (its text in red: the window tests), repaired through the Flight
# menu and failed again, as the Failure Log and skyfault-log.csv show; File >
# Exit writes the skyfault.cfg that skyfault-exitcfg makes from the same file
# (which the Windows program's test compares its own with); a second start
# is refused; SIGTERM, SIGINT and SIGHUP end it cleanly without writing it. A
# stand-in that quits and starts again is followed.
# Usage: program_test.sh SKYFAULT SKYFAULT_SIM SKYFAULT_EXITCFG
set -uo pipefail
app=$1 sim=$2 exitcfg=$3
source "$(dirname "$0")/lib.sh"
e2e_setup xvfb-run xauth Xvfb
cfg="$E2E_DIR/work/skyfault.cfg"
mkdir -p "$E2E_DIR/expected"
write_pitot_config "$cfg" 0 ""
cp "$cfg" "$E2E_DIR/expected/"
"$exitcfg" "$E2E_DIR/expected" || fail "skyfault-exitcfg could not write the expected file"

start_sim "$sim"
start_app "$app"
app_title "Skyfault Connected" 30 || fail "no 'Skyfault Connected' title"
rm "$cfg"  # read; Exit must write it anew
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 15 || fail "the stand-in saw no Pitot failure"
# A second Skyfault in the same session says one is running and goes no
# further (its message box waits for a click: the test ends it).
(cd "$E2E_DIR/work" && QT_QPA_PLATFORM=offscreen exec "$app") </dev/null >"$E2E_DIR/second.log" 2>&1 &
second=$! E2E_PIDS+=($!)
wait_for "$E2E_DIR/second.log" "Skyfault is already running." 30 || fail "the second Skyfault said nothing"
kill "$second"
repair_and_log "$E2E_DIR/work"
app_exit
cmp "$E2E_DIR/expected/skyfault.cfg" "$cfg" || fail "skyfault.cfg differs from skyfault-exitcfg's"

# A signal ends the program as its close box does: the link closed (its block
# file, named after the program's own process id, removed), nothing written.
ipc="$XDG_RUNTIME_DIR/skyfault-ipc"
for signal in TERM INT HUP; do
    write_pitot_config "$cfg" 0 ""
    start_app "$app"
    app_title "Skyfault Connected" 30 || fail "SIG$signal: not connected"
    rm "$cfg"
    blocks=("$ipc"/FSASMLIB:IPC:*:1) hex=${blocks[0]#"$ipc"/FSASMLIB:IPC:}
    pid=$((16#${hex%:1}))
    [ "${#blocks[@]}" -eq 1 ] && [ "$(readlink -f "/proc/$pid/exe")" = "$(readlink -f "$app")" ] ||
        fail "SIG$signal: the block files ${blocks[*]} are not the program's alone"
    kill -s "$signal" "$pid"
    wait_exit "$E2E_APP" 20 || fail "SIG$signal did not end the program"
    [ "$E2E_STATUS" -eq 0 ] || fail "SIG$signal: the program ended with $E2E_STATUS"
    [ ! -e "${blocks[0]}" ] || fail "SIG$signal left the block file ${blocks[0]}"
    [ ! -e "$cfg" ] || fail "SIG$signal wrote skyfault.cfg"
done
# The stand-in quits and starts again: the program follows it.
write_pitot_config "$cfg" 0 "" 200
start_app "$app"
app_title "Skyfault Connected" 30 || fail "restart: not connected"
follow_stand_in start_sim "$sim"
app_exit
echo "e2e program: passed"
