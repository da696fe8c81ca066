#!/usr/bin/env bash
# Builds the Windows release from Linux: installs what is missing (MinGW-w64,
# NSIS), cross-builds Skyfault in Release (build-win-release/) and packs
#   build-win-release/skyfault-<version>-win64.zip
#   build-win-release/skyfault-<version>-win64-setup.exe
# Usage: scripts/release-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh release
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release -j "$(nproc)"
cpack --preset windows-release
echo "The Windows release:"
ls -l build-win-release/skyfault-*-win64.zip build-win-release/skyfault-*-win64-setup.exe
