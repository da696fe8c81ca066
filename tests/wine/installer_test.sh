#!/usr/bin/env bash
# The Windows release as cpack makes it: the zip holds the two programs and
# the README; the NSIS installer, run silently under Wine, puts the program
# under Program Files with a Start-menu shortcut that starts it in the
# user's %APPDATA%\Skyfault (where it saves skyfault.cfg), and its
# uninstaller removes the program and the shortcut and leaves that folder.
# Wine's null graphics driver is enough here.
# Usage: installer_test.sh BUILD_DIR DRIVER_EXE
set -uo pipefail
build=$(realpath -m "$1") E2E_DRIVER=$(realpath -m "$2")
here=$(dirname "$0")
source "$here/../e2e/lib.sh"
source "$here/lib.sh"
e2e_need wine wineserver cpack makensis unzip
[ -f "$E2E_DRIVER" ] || { echo "FAILED: $E2E_DRIVER is missing"; exit 1; }
wine_setup null

# --- The packages ---------------------------------------------------------------
pkg="$E2E_DIR/packages"
timeout 300 cpack -G "ZIP;NSIS" -B "$pkg" --config "$build/CPackConfig.cmake" >"$E2E_DIR/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -n 20 "$E2E_DIR/cpack.log")"
zip=$(ls "$pkg"/skyfault-*-win64.zip 2>/dev/null)
setup=$(ls "$pkg"/skyfault-*-win64-setup.exe 2>/dev/null)
[ -f "$zip" ] || fail "cpack made no skyfault-<version>-win64.zip"
[ -f "$setup" ] || fail "cpack made no skyfault-<version>-win64-setup.exe"
top=$(basename "$zip" .zip)
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listing" = "$top/ $top/README.txt $top/skyfault-linkcheck.exe $top/skyfault.exe " ] ||
    [ "$listing" = "$top/README.txt $top/skyfault-linkcheck.exe $top/skyfault.exe " ] ||
    fail "the zip holds: $listing"

# --- Install ---------------------------------------------------------------------
timeout 120 wine "$setup" /S </dev/null >"$E2E_DIR/setup.log" 2>&1 || fail "the installer failed"
programs="$WINEPREFIX/drive_c/Program Files/Skyfault"
user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
settings="$user_dir/AppData/Roaming/Skyfault"
menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Skyfault"
for file in skyfault.exe skyfault-linkcheck.exe README.txt Uninstall.exe; do
    [ -f "$programs/$file" ] || fail "not installed: Program Files/Skyfault/$file"
done
[ -f "$menu/Skyfault.lnk" ] || fail "no Start-menu shortcut"
[ -d "$settings" ] || fail "the installer made no %APPDATA%\\Skyfault"
[ ! -e "$settings/skyfault.cfg" ] || fail "a skyfault.cfg before the first run"

# --- The shortcut starts the program in %APPDATA%\Skyfault ------------------------
timeout 60 wine start /unix "$menu/Skyfault.lnk" </dev/null >"$E2E_DIR/start.log" 2>&1 ||
    fail "the shortcut does not start"
drive wait-shown main 40 >/dev/null || fail "the installed program shows no window"
drive command main mnuFileExit wait-gone main 30 >/dev/null || fail "File > Exit did not end it"
[ -f "$settings/skyfault.cfg" ] || fail "no skyfault.cfg in %APPDATA%\\Skyfault"
[ ! -e "$programs/skyfault.cfg" ] || fail "skyfault.cfg went to Program Files"
cp "$settings/skyfault.cfg" "$E2E_DIR/saved.cfg"

# --- Uninstall --------------------------------------------------------------------
# The uninstaller runs a copy of itself from the temporary folder and returns
# at once: wait for the program and its shortcuts to go.
timeout 60 wine "$(winpath "$programs/Uninstall.exe")" /S </dev/null >"$E2E_DIR/uninstall.log" 2>&1 ||
    fail "the uninstaller failed"
for ((i = 0; i < 300; i++)); do
    [ -e "$programs" ] || [ -e "$menu" ] || break
    sleep 0.1
done
[ ! -e "$programs" ] || fail "left behind: $(ls -A "$programs" | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu folder is left behind"
cmp -s "$E2E_DIR/saved.cfg" "$settings/skyfault.cfg" ||
    fail "uninstalling changed or removed %APPDATA%\\Skyfault\\skyfault.cfg"

echo "wine installer: 1 passed, 0 failed"
