#!/usr/bin/env bash
# The installer as cpack makes it, run silently: it installs under Program Files with
# a Start-menu shortcut that starts the program in %APPDATA%\Skyfault, where
# it saves skyfault.cfg; the uninstaller removes all but that folder.
# Usage: installer_test.sh BUILD_DIR DRIVER_EXE
set -uo pipefail
build=$(realpath -m "$1") E2E_DRIVER=$(realpath -m "$2")
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/lib.sh"
wine_setup null wine wineserver cpack makensis
timeout 300 cpack -G NSIS -B "$E2E_DIR" --config "$build/CPackConfig.cmake" >"$E2E_DIR/cpack.log" 2>&1 ||
    fail "cpack failed"
setup=$(ls "$E2E_DIR"/skyfault-*-win64-setup.exe) || fail "cpack made no installer"

timeout 120 wine "$setup" /S </dev/null >"$E2E_DIR/setup.log" 2>&1 || fail "the installer failed"
programs="$WINEPREFIX/drive_c/Program Files/Skyfault"
roaming="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming"
settings="$roaming/Skyfault" menu="$roaming/Microsoft/Windows/Start Menu/Programs/Skyfault"
for file in skyfault.exe skyfault-linkcheck.exe README.txt Uninstall.exe; do
    [ -f "$programs/$file" ] || fail "not installed: $file"
done
[ -d "$settings" ] && [ ! -e "$settings/skyfault.cfg" ] || fail "no empty %APPDATA%\\Skyfault"
timeout 60 wine start /unix "$menu/Skyfault.lnk" </dev/null >"$E2E_DIR/start.log" 2>&1 || fail "no shortcut"
drive wait-shown main 40 command main mnuFileExit wait-gone main 30 >/dev/null || fail "no clean run"
[ -f "$settings/skyfault.cfg" ] && [ ! -e "$programs/skyfault.cfg" ] || fail "skyfault.cfg not in %APPDATA%"
cp "$settings/skyfault.cfg" "$E2E_DIR/saved.cfg"

# The uninstaller runs a copy of itself and returns at once: wait for it.
timeout 60 wine "$(winpath "$programs/Uninstall.exe")" /S </dev/null >"$E2E_DIR/uninstall.log" 2>&1 ||
    fail "the uninstaller failed"
timeout 30 bash -c 'while [ -e "$0" ] || [ -e "$1" ]; do sleep 0.1; done' "$programs" "$menu"
[ ! -e "$programs" ] && [ ! -e "$menu" ] || fail "the program or its shortcut is left behind"
cmp -s "$E2E_DIR/saved.cfg" "$settings/skyfault.cfg" || fail "uninstalling changed skyfault.cfg"
echo "wine installer: 1 passed, 0 failed"
