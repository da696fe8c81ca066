#!/usr/bin/env bash
# The Windows program under Wine's X11 driver on Xvfb: connected to
# skyfault-sim.exe, it fails Pitot, opens and closes each window (a picture
# of the screen with each in ARTIFACTS) and File > Exit writes skyfault.cfg byte for byte as
# skyfault-exitcfg (the Linux program's Exit) does; without the stand-in the
# title says why, and Exit still saves. The program runs in a folder whose
# name is Cyrillic, outside the code page (1252: Wine's for an English or
# unset locale), and Pitot's sound path is 8-bit text of that code page.
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

rm "$work/skyfault.cfg"
start_wine_app "$app" "$work"
step "no 'Cannot link' title" wait-title main "Skyfault Error: Cannot link to FSUIPC or WideClient" 40
picture windows-main-unlinked
step "Exit did not end the program" command main btnExit wait-gone main 30
[ -f "$work/skyfault.cfg" ] || fail "Exit wrote no skyfault.cfg"
echo "wine desktop: 1 passed, 0 failed"
