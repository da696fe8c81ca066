#!/usr/bin/env bash
# The Windows program under Wine's X11 driver on Xvfb: connected to
# skyfault-sim.exe, it fails Pitot; a second Skyfault is refused; Flight >
# Repair All Systems writes Pitot's flag back to 0, Pitot fails again, and the
# Failure Log and skyfault-log.csv list both failures and the repair; File >
# Exit writes skyfault.cfg byte for byte as skyfault-exitcfg (the Linux
# program's Exit) does. Without the stand-in the title says why; a stand-in
# that starts later, quits and starts again is followed, and Exit still
# saves, in the start folder even while the file-open dialog shows another.
# The program runs in a folder whose name is Cyrillic, outside the code page
# (1252: Wine's for an English or unset locale), and Pitot's sound path is
# 8-bit text of that code page.
# Usage: desktop_test.sh SKYFAULT_EXE SIM_EXE DRIVER_EXE EXITCFG
set -uo pipefail
# Wine's code page 1252, and UTF-8 names on the host's disk, whatever the caller's locale.
export LC_ALL=C.UTF-8
app=$(realpath -m "$1") sim=$(realpath -m "$2") E2E_DRIVER=$(realpath -m "$3") exitcfg=$(realpath -m "$4")
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/lib.sh"
wine_setup x11 wine wineserver Xvfb cmp
mkdir -p "$E2E_DIR/linux"
work="$E2E_DIR/Полёты"

# step WHY DRIVER-STEP...: the steps, or the test fails saying WHY.
step() { drive "${@:2}" >/dev/null || fail "$1"; }

# A Windows path for Pitot's sound, with an e acute in code page 1252: kept
# byte for byte (no sound is played).
mkdir -p "$work"
write_pitot_config "$work/skyfault.cfg" 0 $'C:\\Sons\\alarme_\xe9.wav'
cp "$work/skyfault.cfg" "$E2E_DIR/linux/"
"$exitcfg" "$E2E_DIR/linux" || fail "skyfault-exitcfg could not write the expected file"
start_wine_sim "$sim"
start_wine_app "$app" "$work"
app_title "Skyfault Connected" 40 || fail "no 'Skyfault Connected' title"
rm "$work/skyfault.cfg"  # read: Exit must write it anew
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 20 || fail "the stand-in saw no Pitot failure"

# A second Skyfault says one is running, brings the first forward and ends;
# Pitot is not failed twice.
step "no Preferences" command main mnuFileDefault wait-shown preferences 10
(cd "$work" && exec wine "$(winpath "$app")") </dev/null >"$E2E_DIR/second.log" 2>&1 &
second=$!
E2E_PIDS+=("$second")
step "the second Skyfault said nothing" wait-title dialog Skyfault 30
step "its message did not close" command dialog IDOK wait-gone dialog 10
wait_exit "$second" 30 && [ "$E2E_STATUS" -eq 1 ] || fail "the second Skyfault did not end with 1"
step "the first Skyfault is not in front" wait-front main 10
[ "$(grep -c 'write 0x0B71' "$E2E_DIR/sim.log")" -eq 1 ] || fail "Pitot was failed twice"
step "Escape does not cancel Preferences" escape preferences wait-hidden preferences 10

repair_and_log "$work"
app_exit
cmp "$E2E_DIR/linux/skyfault.cfg" "$work/skyfault.cfg" || fail "skyfault.cfg differs from the Linux program's"
echo "quit" >&7
wait_exit "$E2E_SIM" 15 && [ "$E2E_STATUS" -eq 0 ] || fail "the stand-in did not quit cleanly"

# Started without the stand-in, it finds one started later, and follows it.
write_pitot_config "$work/skyfault.cfg" 0 "" 200
start_wine_app "$app" "$work"
app_title "Skyfault Error: Cannot link to FSUIPC or WideClient" 40 || fail "no 'Cannot link' title"
rm "$work/skyfault.cfg"
start_wine_sim "$sim"
app_title "Skyfault Connected" 10 || fail "the stand-in started later was not found"
follow_stand_in start_wine_sim "$sim"
# Exit while the file-open dialog shows another folder (it changes the
# current folder): the file is saved in the folder Skyfault started in.
mkdir "$work/sounds"
step "no Preferences" command main mnuFileDefault wait-shown preferences 10
step "no file-open dialog" command preferences cmdDefaultBrowse wait-shown dialog 20
step "the file-open dialog did not go to the sounds" open-folder "$(winpath "$work/sounds")"
sleep 1  # the dialog goes there
step "Exit did not end the program" command main btnExit wait-gone main 30
[ -f "$work/skyfault.cfg" ] || fail "Exit wrote no skyfault.cfg"
[ ! -e "$work/sounds/skyfault.cfg" ] || fail "Exit saved skyfault.cfg in the folder the dialog showed"
echo "wine desktop: 1 passed, 0 failed"
