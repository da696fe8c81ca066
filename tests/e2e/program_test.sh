#!/usr/bin/env bash
# The real program under Xvfb beside the simulator stand-in: the title shows
# the connection, Pitot (allowed to fail at every check) is failed in the
# stand-in and shown in red, repaired through the Flight menu and failed
# again, as the Failure Log and skyfault-log.csv show; File > Exit writes the
# skyfault.cfg that skyfault-exitcfg makes from the same file (which the
# Windows program's test compares its own with); SIGTERM, SIGINT and SIGHUP
# end it cleanly without writing it. A stand-in that quits and starts again
# is followed.
# Usage: program_test.sh SKYFAULT SKYFAULT_SIM ARTIFACTS SKYFAULT_EXITCFG
set -uo pipefail
app=$1 sim=$2 exitcfg=$4
source "$(dirname "$0")/lib.sh"
e2e_setup xvfb-run xauth Xvfb
cfg="$E2E_DIR/work/skyfault.cfg"
mkdir -p "$E2E_DIR/expected"
write_pitot_config "$cfg" 0 ""
cp "$cfg" "$E2E_DIR/expected/"
"$exitcfg" "$E2E_DIR/expected" || fail "skyfault-exitcfg could not write the expected file"

start_sim "$sim"
start_app "$app"
wait_for "$E2E_DIR/app.log" "title: Skyfault Connected" 30 || fail "no 'Skyfault Connected' title"
rm "$cfg"  # read; Exit must write it anew
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 15 || fail "the stand-in saw no Pitot failure"
wait_for "$E2E_DIR/app.log" "status: red: Failure: Pitot" 5 || fail "no red failure text"
# Flight > Repair All Systems: Pitot's flag back to 0, and Pitot, eligible
# again, fails at the next check; the Failure Log and skyfault-log.csv show
# the two failures (with the stand-in's readings) and the repair.
echo "trigger mnuFlightRepair" >&8
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 00" 5 || fail "Repair wrote no 0 to Pitot's flag"
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 5 2 || fail "the repaired Pitot did not fail again"
printf 'trigger mnuFlightLog\nrows\n' >&8
wait_for "$E2E_DIR/app.log" "done: rows" 5 || fail "the Failure Log's rows were not read"
[ "$(sed -n 's/^row: [^|]*|[^|]*| //p' "$E2E_DIR/app.log")" = "$(printf '%s\n' \
    'Failure | Pitot | 120 | 15.0 | 328' 'Repair | Pitot |  |  | ' 'Failure | Pitot | 120 | 15.0 | 328')" ] ||
    fail "the Failure Log does not show the failure, the repair and the failure again"
diff <(sed -n 's/^row: //p' "$E2E_DIR/app.log" | sed 's/ | /,/g') \
    <(tail -n +2 "$E2E_DIR/work/skyfault-log.csv" | tr -d '\r') || fail "skyfault-log.csv differs"
app_exit
cmp "$E2E_DIR/expected/skyfault.cfg" "$cfg" || fail "skyfault.cfg differs from skyfault-exitcfg's"

# A signal ends the program as its close box does: the link closed (its block
# file, named after the program's own process id, removed), nothing written.
ipc="$XDG_RUNTIME_DIR/skyfault-ipc"
for signal in TERM INT HUP; do
    write_pitot_config "$cfg" 0 ""
    start_app "$app"
    wait_for "$E2E_DIR/app.log" "title: Skyfault Connected" 30 || fail "SIG$signal: not connected"
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
# The stand-in quits and starts again as WideClient's: the title follows it,
# and Pitot, due once the airspeed is within its window, fails on the new one.
write_pitot_config "$cfg" 0 ""
sed -i 's/^PitotStr=1,0,/PitotStr=1,200,/' "$cfg"
start_app "$app"
wait_for "$E2E_DIR/app.log" "title: Skyfault Connected" 30 || fail "restart: not connected"
echo quit >&7
wait_exit "$E2E_SIM" 15 || fail "the stand-in did not quit"
wait_for "$E2E_DIR/app.log" "title: Skyfault Error: Cannot link to FSUIPC or WideClient" 6 ||
    fail "the title still says connected 5 s after the stand-in quit"
start_sim "$sim" --class FS98MAIN
wait_for "$E2E_DIR/app.log" "title: Skyfault Connected" 10 2 ||
    fail "the stand-in started again was not found within 10 s"
echo "set ias 250" >&7
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 10 || fail "the new stand-in saw no Pitot failure"
app_exit
echo "e2e program: passed"
