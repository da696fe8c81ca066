#!/usr/bin/env bash
# The real program under Xvfb beside the simulator stand-in: the title shows
# the connection, a system allowed to fail at every check is failed in the
# stand-in and shown in red, File > Exit writes skyfault.cfg; SIGTERM,
# SIGINT and SIGHUP end it without writing it and without leaving its block
# file; without a stand-in the title shows why the link failed. Saves a
# picture of the main window into the artifacts folder. The file Exit writes
# is the one skyfault-exitcfg makes from the same starting file, which the
# Windows program's end-to-end test compares its own with.
# Usage: program_test.sh SKYFAULT SKYFAULT_SIM ARTIFACTS SKYFAULT_EXITCFG
set -uo pipefail
app=$1 sim=$2 artifacts=$3 exitcfg=$4
source "$(dirname "$0")/lib.sh"
e2e_need xvfb-run xauth Xvfb
e2e_setup
mkdir -p "$artifacts"

# --- With the stand-in -------------------------------------------------------
write_pitot_config "$E2E_DIR/work/skyfault.cfg" 0 ""
mkdir -p "$E2E_DIR/expected"
cp "$E2E_DIR/work/skyfault.cfg" "$E2E_DIR/expected/"
"$exitcfg" "$E2E_DIR/expected" || fail "skyfault-exitcfg could not write the expected file"
start_sim "$sim"
start_app "$app"

wait_for "$E2E_DIR/app.log" "title: Skyfault Connected" 30 || fail "no 'Skyfault Connected' title"
# The file has been read; Exit must write it anew.
rm "$E2E_DIR/work/skyfault.cfg"
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 15 || fail "the stand-in saw no Pitot failure"
wait_for "$E2E_DIR/app.log" "status: red: Failure: Pitot" 5 || fail "no red failure text"

app_command "grab $artifacts/main-window.png"
wait_for "$E2E_DIR/app.log" "done: grab" 10 || fail "no picture of the window"
[ -s "$artifacts/main-window.png" ] || fail "empty picture"

app_command "trigger mnuFileExit"
wait_exit "$E2E_APP" 20 || fail "File > Exit did not end the program"
[ "$E2E_STATUS" -eq 0 ] || fail "the program ended with $E2E_STATUS"
cfg="$E2E_DIR/work/skyfault.cfg"
[ -f "$cfg" ] || fail "File > Exit wrote no skyfault.cfg"
grep -q $'^Frequency=1\r$' "$cfg" || fail "skyfault.cfg lacks Frequency=1"
grep -q $'^Pitot=1\r$' "$cfg" || fail "skyfault.cfg lacks Pitot=1"
grep -q $'^PitotStr=1,0,999,-50,100,-999,99999,C\r$' "$cfg" || fail "skyfault.cfg lacks Pitot's list"
grep -q $'^Activated=1\r$' "$cfg" || fail "skyfault.cfg lacks Activated=1"
cmp "$E2E_DIR/expected/skyfault.cfg" "$cfg" || fail "skyfault.cfg differs from skyfault-exitcfg's"

# --- Ended by a signal ----------------------------------------------------------
# SIGTERM, SIGINT and SIGHUP end the program as its close box does: the
# link is closed (its block file removed) and skyfault.cfg is not written.
# The program's own process id is the one its block file is named after.
ipc="$XDG_RUNTIME_DIR/skyfault-ipc"
for signal in TERM INT HUP; do
    exec 8>&-
    rm -f "$E2E_DIR/app.in" "$E2E_DIR/app.log"
    write_pitot_config "$E2E_DIR/work/skyfault.cfg" 0 ""
    start_app "$app"
    wait_for "$E2E_DIR/app.log" "title: Skyfault Connected" 30 || fail "SIG$signal: not connected"
    rm "$E2E_DIR/work/skyfault.cfg"
    blocks=("$ipc"/FSASMLIB:IPC:*:1)
    if [ "${#blocks[@]}" -ne 1 ] || [ ! -f "${blocks[0]}" ]; then
        fail "SIG$signal: not exactly one block file: ${blocks[*]}"
    fi
    hex=${blocks[0]#"$ipc"/FSASMLIB:IPC:}
    pid=$((16#${hex%:1}))
    [ "$(readlink -f "/proc/$pid/exe")" = "$(readlink -f "$app")" ] ||
        fail "SIG$signal: the block file names process $pid, which is not the program"
    kill -s "$signal" "$pid"
    wait_exit "$E2E_APP" 20 || fail "SIG$signal did not end the program"
    [ "$E2E_STATUS" -eq 0 ] || fail "SIG$signal: the program ended with $E2E_STATUS"
    [ ! -e "${blocks[0]}" ] || fail "SIG$signal left the block file ${blocks[0]}"
    [ ! -e "$E2E_DIR/work/skyfault.cfg" ] || fail "SIG$signal wrote skyfault.cfg"
    echo "SIG$signal: ended cleanly"
done

echo "quit" >&7
exec 7>&- 8>&-
wait_exit "$E2E_SIM" 10 || fail "the stand-in did not quit"

# --- Without a stand-in -------------------------------------------------------
rm -f "$E2E_DIR/app.in" "$E2E_DIR/app.log" "$E2E_DIR/work/skyfault.cfg"
start_app "$app"
wait_for "$E2E_DIR/app.log" "title: Skyfault Error: Cannot link to FSUIPC or WideClient" 30 ||
    fail "no 'Cannot link' title without the stand-in"
app_command "grab $artifacts/main-window-unlinked.png"
wait_for "$E2E_DIR/app.log" "done: grab" 10 || fail "no picture of the unlinked window"
app_command "trigger btnExit"
wait_exit "$E2E_APP" 20 || fail "Exit did not end the program"
[ "$E2E_STATUS" -eq 0 ] || fail "the program ended with $E2E_STATUS"
[ -f "$E2E_DIR/work/skyfault.cfg" ] || fail "Exit wrote no skyfault.cfg"

echo "e2e program: 1 passed, 0 failed"
