#!/usr/bin/env bash
# The installer as cpack makes it, run silently as the user, without
# administrator rights: it installs under %LOCALAPPDATA%\Programs with one
# Start-menu shortcut that starts the program in %APPDATA%\Skyfault, where
# it saves skyfault.cfg, and the user's own uninstall entry (its size and
# version); it will not replace a Skyfault that runs; every shipped program
# carries the project's version; the uninstaller removes all but that folder.
# Usage: installer_test.sh BUILD_DIR DRIVER_EXE WINDRES
set -uo pipefail
build=$(realpath -m "$1") E2E_DRIVER=$(realpath -m "$2") windres=$3
source "$(dirname "$0")/../e2e/lib.sh"
source "$(dirname "$0")/lib.sh"
wine_setup null wine wineserver cpack makensis
timeout 300 cpack -G NSIS -B "$E2E_DIR" --config "$build/CPackConfig.cmake" >"$E2E_DIR/cpack.log" 2>&1 ||
    fail "cpack failed"
setup=$(ls "$E2E_DIR"/skyfault-*-win64-setup.exe) || fail "cpack made no installer"
version=$(sed -n 's/^#define SKYFAULT_VERSION "\(.*\)"$/\1/p' "$build/generated/skyfault_version.h")
numbers=$(sed -n 's/^#define SKYFAULT_VERSION_NUMBERS \(.*\)$/\1/p' "$build/generated/skyfault_version.h" | tr -d ' ')
[ -n "$version" ] && [ -n "$numbers" ] || fail "no version in the build"

timeout 120 wine "$setup" /S </dev/null >"$E2E_DIR/setup.log" 2>&1 || fail "the installer failed"
home="$WINEPREFIX/drive_c/users/$(id -un)/AppData"
programs="$home/Local/Programs/Skyfault" settings="$home/Roaming/Skyfault"
menu="$home/Roaming/Microsoft/Windows/Start Menu/Programs"
for file in skyfault.exe skyfault-linkcheck.exe README.txt Uninstall.exe; do
    [ -f "$programs/$file" ] || fail "not installed: $file"
done
[ -d "$settings" ] && [ ! -e "$settings/skyfault.cfg" ] || fail "no empty %APPDATA%\\Skyfault"
[ -f "$menu/Skyfault.lnk" ] && [ ! -e "$menu/Skyfault" ] || fail "not one Start-menu shortcut"

# The user's own uninstall entry: its version, and its size as installed (KB).
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Skyfault'
entry=$(timeout 60 wine reg query "$key" </dev/null 2>/dev/null | tr -d '\r')
grep -q "DisplayVersion[[:space:]]*REG_SZ[[:space:]]*$version\$" <<<"$entry" || fail "DisplayVersion is not $version: $entry"
size=$(sed -n 's/.*EstimatedSize[[:space:]]*REG_DWORD[[:space:]]*0x\([0-9a-fA-F]*\).*/\1/p' <<<"$entry")
kb=$(( $(du -sb "$programs" | cut -f1) / 1024 ))
[ -n "$size" ] && (( 16#$size >= kb * 9 / 10 && 16#$size <= kb * 11 / 10 + 4 )) ||
    fail "EstimatedSize ${size:-none} for $kb KB installed"

# Every shipped program carries the project's version.
# (its numbers, its ProductVersion and FileVersion texts, as windres reads them).
for file in "$programs/skyfault.exe" "$programs/skyfault-linkcheck.exe" "$programs/Uninstall.exe" "$setup"; do
    [ "$("$windres" -i "$file" -O rc | tr -d ' ' | grep -cxF -e "FILEVERSION$numbers" \
        -e "VALUE\"ProductVersion\",\"$version\"" -e "VALUE\"FileVersion\",\"$version\"")" -eq 3 ] ||
        fail "version resource of $(basename "$file") is not $numbers $version"
done

timeout 60 wine start /unix "$menu/Skyfault.lnk" </dev/null >"$E2E_DIR/start.log" 2>&1 || fail "no shortcut"
drive wait-shown main 40 >/dev/null || fail "the shortcut did not start Skyfault"
# An upgrade while Skyfault runs is refused, the program left as it is.
touch -d '2001-01-01' "$programs/skyfault.exe"
timeout 120 wine "$setup" /S </dev/null >"$E2E_DIR/setup2.log" 2>&1 && fail "installed over a running Skyfault"
[ "$(stat -c %Y "$programs/skyfault.exe")" = "$(date -d 2001-01-01 +%s)" ] || fail "a running Skyfault was replaced"
drive command main mnuFileExit wait-gone main 30 >/dev/null || fail "no clean run"
[ -f "$settings/skyfault.cfg" ] && [ ! -e "$programs/skyfault.cfg" ] || fail "skyfault.cfg not in %APPDATA%"
cp "$settings/skyfault.cfg" "$E2E_DIR/saved.cfg"
timeout 120 wine "$setup" /S </dev/null >"$E2E_DIR/setup3.log" 2>&1 || fail "the upgrade failed"

# The uninstaller runs a copy of itself and returns at once: wait for it.
timeout 60 wine "$(winpath "$programs/Uninstall.exe")" /S </dev/null >"$E2E_DIR/uninstall.log" 2>&1 ||
    fail "the uninstaller failed"
timeout 30 bash -c 'while [ -e "$0" ] || [ -e "$1" ]; do sleep 0.1; done' "$programs" "$menu/Skyfault.lnk"
[ ! -e "$programs" ] && [ ! -e "$menu/Skyfault.lnk" ] || fail "the program or its shortcut is left behind"
timeout 60 wine reg query "$key" </dev/null >/dev/null 2>&1 && fail "the uninstall entry is left behind"
cmp -s "$E2E_DIR/saved.cfg" "$settings/skyfault.cfg" || fail "uninstalling changed skyfault.cfg"
echo "wine installer: 1 passed, 0 failed"
