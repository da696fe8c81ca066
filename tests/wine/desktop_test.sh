#!/usr/bin/env bash
# The Windows program under Wine's X11 driver on Xvfb: connected to
# skyfault-sim.exe, it fails Pitot, opens and closes each window (a picture
# of the screen with each in ARTIFACTS) and File > Exit writes skyfault.cfg byte for byte as
# skyfault-exitcfg (the Linux program's Exit) does; Flight > Repair All Systems
# writes Pitot's flag back to 0, Pitot fails again, and the Failure Log and
# skyfault-log.csv list both failures and the repair; without the stand-in the
# title says why; a stand-in that starts later, quits and starts again is
# followed, and Exit still saves, in the start folder even while the
# file-open dialog shows another. A second Skyfault is refused. The program
# runs in a folder whose name is Cyrillic, outside the code page (1252:
# Wine's for an English or unset locale), and Pitot's sound path is 8-bit
# text of that code page.
# Usage: desktop_test.sh SKYFAULT_EXE SIM_EXE DRIVER_EXE EXITCFG ARTIFACTS
set -uo pipefail
# Wine's code page 1252, and UTF-8 names on the host's disk, whatever the caller's locale.
export LC_ALL=C.UTF-8
app=$(realpath -m "$1") sim=$(realpath -m "$2") E2E_DRIVER=$(realpath -m "$3") exitcfg=$(realpath -m "$4")
artifacts=$(realpath -m "$5")
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/lib.sh"
wine_setup x11 wine wineserver Xvfb cmp
mkdir -p "$artifacts" "$E2E_DIR/linux"
work="$E2E_DIR/Полёты"

# step WHY DRIVER-STEP...: the steps, or the test fails saying WHY.
step() { drive "${@:2}" >/dev/null || fail "$1"; }
# picture NAME: the screen, the window just shown on top, as NAME.xwd.
picture() { sleep 0.5 && cp "$E2E_DIR/Xvfb_screen0" "$artifacts/$1.xwd" || fail "no picture"; }

# A Windows path for Pitot's sound, with an e acute in code page 1252: kept
# byte for byte (no sound is played).
mkdir -p "$work"
write_pitot_config "$work/skyfault.cfg" 0 $'C:\\Sons\\alarme_\xe9.wav'
cp "$work/skyfault.cfg" "$E2E_DIR/linux/"
"$exitcfg" "$E2E_DIR/linux" || fail "skyfault-exitcfg could not write the expected file"
start_wine_sim "$sim"
start_wine_app "$app" "$work"
step "no 'Skyfault Connected' title" wait-title main "Skyfault Connected" 40
rm "$work/skyfault.cfg"  # read: Exit must write it anew
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 20 || fail "the stand-in saw no Pitot failure"

# A second Skyfault says one is running, brings the first forward and ends;
# Pitot is not failed twice.
step "no Preferences" command main mnuFileDefault wait-shown preferences 10
(cd "$work" && exec wine "$(winpath "$app")") </dev/null >"$E2E_DIR/second.log" 2>&1 &
second=$!
E2E_PIDS+=("$second")
step "the second Skyfault said nothing" wait-title dialog Skyfault 30
picture windows-already-running
step "its message did not close" command dialog IDOK wait-gone dialog 10
wait_exit "$second" 30 && [ "$E2E_STATUS" -eq 1 ] || fail "the second Skyfault did not end with 1"
step "the first Skyfault is not in front" wait-front main 10
[ "$(grep -c 'write 0x0B71' "$E2E_DIR/sim.log")" -eq 1 ] || fail "Pitot was failed twice"
step "Escape does not cancel Preferences" escape preferences wait-hidden preferences 10

# Flight > Repair All Systems writes Pitot's flag back to 0; eligible again,
# Pitot fails at a later check. The Failure Log lists both, as
# skyfault-log.csv does.
step "no Failure Log" command main mnuFlightLog wait-shown failurelog 10
step "the Failure Log lists no failure" rows failurelog 1 20
step "the repair is not listed" command main mnuFlightRepair rows failurelog 2 10
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 00" 10 || fail "the stand-in saw no Pitot flag written back to 0"
rows=$(drive rows failurelog 3 20) || fail "Pitot did not fail again after the repair"
[ "$(grep -c 'write 0x0B71 1 01' "$E2E_DIR/sim.log")" -eq 2 ] || fail "the stand-in saw no second Pitot failure"
events=$(printf '%s\n' "$rows" | awk -F' [|] ' '{printf "%s %s;", $3, $4}')
[ "$events" = "Failure Pitot;Repair Pitot;Failure Pitot;" ] || fail "the Failure Log lists $rows"
events=$(awk -F, '{printf "%s %s;", $3, $4}' "$work/skyfault-log.csv")
[ "$events" = "Event System;Failure Pitot;Repair Pitot;Failure Pitot;" ] ||
    fail "skyfault-log.csv holds $(cat "$work/skyfault-log.csv")"
picture windows-failure-log
step "Escape does not hide the Failure Log" escape failurelog wait-hidden failurelog 10

picture windows-main
step "no Preferences" command main mnuFileDefault wait-shown preferences 10
picture windows-preferences
step "Escape does not cancel Preferences" escape preferences wait-hidden preferences 10
step "no System settings" command main mnuSpecificSystems wait-shown systems 10
picture windows-system-settings
step "Escape does not close System settings" escape systems wait-gone systems 10
step "Help > About shows nothing" command main mnuHelpAbout wait-shown about 10
picture windows-about
step "OK does not close About" command about cmdOK wait-gone about 10
step "File > Exit did not end the program" command main mnuFileExit wait-gone main 30
wait_exit "$E2E_APP" 30 && [ "$E2E_STATUS" -eq 0 ] || fail "the program did not end cleanly"
cmp "$E2E_DIR/linux/skyfault.cfg" "$work/skyfault.cfg" || fail "skyfault.cfg differs from the Linux program's"
echo "quit" >&7
wait_exit "$E2E_SIM" 15 && [ "$E2E_STATUS" -eq 0 ] || fail "the stand-in did not quit cleanly"

# Started without the stand-in, it finds one started later; it follows one
# that quits and starts again as WideClient's, and Pitot, due once the
# airspeed is within its window, fails on the new one.
write_pitot_config "$work/skyfault.cfg" 0 ""
sed -i 's/^PitotStr=1,0,/PitotStr=1,200,/' "$work/skyfault.cfg"
start_wine_app "$app" "$work"
step "no 'Cannot link' title" wait-title main "Skyfault Error: Cannot link to FSUIPC or WideClient" 40
picture windows-main-unlinked
rm "$work/skyfault.cfg"
start_wine_sim "$sim"
step "the stand-in started later was not found" wait-title main "Skyfault Connected" 10
echo "quit" >&7
wait_exit "$E2E_SIM" 15 || fail "the stand-in did not quit"
step "the title still says connected 5 s after the stand-in quit" \
    wait-title main "Skyfault Error: Cannot link to FSUIPC or WideClient" 6
start_wine_sim "$sim" --class FS98MAIN
step "the stand-in started again was not found" wait-title main "Skyfault Connected" 10
echo "set ias 250" >&7
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 10 || fail "the new stand-in saw no Pitot failure"
# Exit while the file-open dialog shows another folder (it changes the
# current folder): the file is saved in the folder Skyfault started in.
mkdir "$work/sounds"
step "no Preferences" command main mnuFileDefault wait-shown preferences 10
step "no file-open dialog" command preferences cmdDefaultBrowse wait-shown dialog 20
step "the file-open dialog did not go to the sounds" open-folder "$(winpath "$work/sounds")"
sleep 1
picture windows-open-dialog
step "Exit did not end the program" command main btnExit wait-gone main 30
[ -f "$work/skyfault.cfg" ] || fail "Exit wrote no skyfault.cfg"
[ ! -e "$work/sounds/skyfault.cfg" ] || fail "Exit saved skyfault.cfg in the folder the dialog showed"
echo "wine desktop: 1 passed, 0 failed"
