#!/usr/bin/env bash
# The Windows program under Wine's X11 driver on Xvfb, beside skyfault-sim.exe
# in the same Wine session: the title shows the connection; a system allowed
# to fail at every check is failed in the stand-in; File > Exit writes
# skyfault.cfg byte for byte as the Linux program does for the same starting
# file (skyfault-exitcfg, a native tool, gives those bytes); without a
# stand-in the title shows why the link failed. Saves a picture of each
# window into the artifacts folder.
# Usage: desktop_test.sh SKYFAULT_EXE SIM_EXE DRIVER_EXE EXITCFG ARTIFACTS
set -uo pipefail
app=$(realpath -m "$1") sim=$(realpath -m "$2") E2E_DRIVER=$(realpath -m "$3") exitcfg=$(realpath -m "$4")
artifacts=$(realpath -m "$5")
here=$(dirname "$0")
source "$here/../e2e/lib.sh"
source "$here/lib.sh"
e2e_need wine wineserver Xvfb python3 cmp
for file in "$app" "$sim" "$E2E_DRIVER" "$exitcfg"; do
    [ -f "$file" ] || { echo "FAILED: $file is missing"; exit 1; }
done
wine_setup x11
mkdir -p "$artifacts"
work="$E2E_DIR/work"

# picture WINDOW NAME: the window as a PNG in the artifacts folder.
picture() {
    drive shot "$1" "$(winpath "$E2E_DIR/$2.bmp")" >/dev/null || fail "no picture of $1"
    python3 "$here/bmp_to_png.py" "$E2E_DIR/$2.bmp" "$artifacts/$2.png" ||
        fail "the picture of $1 is no BMP"
}

# --- With the stand-in -------------------------------------------------------
# A Windows path for Pitot's sound: kept byte for byte (no sound is played).
write_pitot_config "$work/skyfault.cfg" 0 'C:\Sounds\pitot.wav'
# What the Linux program writes on Exit after starting from this file.
mkdir -p "$E2E_DIR/linux"
cp "$work/skyfault.cfg" "$E2E_DIR/linux/"
"$exitcfg" "$E2E_DIR/linux" || fail "skyfault-exitcfg could not write the expected file"

start_wine_sim "$sim"
start_wine_app "$(winpath "$app")" "$work"
drive wait-title main "Skyfault Connected" 40 || fail "no 'Skyfault Connected' title"
# The file has been read; Exit must write it anew.
rm "$work/skyfault.cfg"
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 20 || fail "the stand-in saw no Pitot failure"
status=$(drive text main txtMessage)
[ "$status" = "text txtMessage=Failure: Pitot" ] || fail "the status line shows: $status"

picture main windows-main
drive command main mnuFileDefault wait-shown preferences 10 >/dev/null ||
    fail "File > Default Settings shows no Preferences dialog"
picture preferences windows-preferences
drive command preferences cmdPrefsCancel wait-hidden preferences 10 >/dev/null ||
    fail "Cancel does not hide the Preferences dialog"
drive command main mnuSpecificSystems wait-shown systems 10 >/dev/null ||
    fail "File > Specific Systems shows no System settings dialog"
picture systems windows-system-settings
drive command systems cmdCancelSystemSettings wait-hidden systems 10 >/dev/null ||
    fail "Cancel does not close the System settings dialog"
drive command main mnuHelpAbout wait-shown about 10 >/dev/null || fail "Help > About shows nothing"
picture about windows-about
drive command about cmdOK wait-hidden about 10 >/dev/null || fail "OK does not close About"

drive command main mnuFileExit >/dev/null || fail "cannot send File > Exit"
wait_exit "$E2E_APP" 30 || fail "File > Exit did not end the program"
[ "$E2E_STATUS" -eq 0 ] || fail "the program ended with $E2E_STATUS"
[ -f "$work/skyfault.cfg" ] || fail "File > Exit wrote no skyfault.cfg"
cmp "$E2E_DIR/linux/skyfault.cfg" "$work/skyfault.cfg" ||
    fail "skyfault.cfg differs from the Linux program's (diff: $(diff <(od -c "$E2E_DIR/linux/skyfault.cfg") <(od -c "$work/skyfault.cfg") | head -5))"
echo "quit" >&7
exec 7>&-
wait_exit "$E2E_SIM" 15 || fail "the stand-in did not quit"
[ "$E2E_STATUS" -eq 0 ] || fail "the stand-in ended with $E2E_STATUS"

# --- Without a stand-in -------------------------------------------------------
rm -f "$work/skyfault.cfg"
start_wine_app "$(winpath "$app")" "$work"
drive wait-title main "Skyfault Error: Cannot link to FSUIPC or WideClient" 40 ||
    fail "no 'Cannot link' title without the stand-in"
picture main windows-main-unlinked
drive command main btnExit >/dev/null || fail "cannot press Exit"
wait_exit "$E2E_APP" 30 || fail "Exit did not end the program"
[ "$E2E_STATUS" -eq 0 ] || fail "the program ended with $E2E_STATUS"
[ -f "$work/skyfault.cfg" ] || fail "Exit wrote no skyfault.cfg"

echo "wine desktop: 1 passed, 0 failed"
