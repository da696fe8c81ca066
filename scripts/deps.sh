#!/usr/bin/env bash
# Installs the Debian packages a task needs, and only those that are missing.
# Usage: scripts/deps.sh run|test|release
set -euo pipefail

profile=${1:-test}
build=(cmake g++ ninja-build pkg-config)
headless=(xvfb xauth)
gui=(qt6-base-dev qt6-multimedia-dev libgl-dev)
tests=(libgtest-dev libgmock-dev clang-format xvfb xauth pulseaudio pulseaudio-utils sox python3 clang libclang-rt-14-dev libbenchmark-dev time)
# fonts-wine: the glyphs of the window frames Wine draws (end-to-end pictures).
cross=(g++-mingw-w64-x86-64-posix wine64 wine fonts-wine unzip)
# The Windows release: zip and NSIS installer.
release=(cmake ninja-build g++-mingw-w64-x86-64-posix nsis)

case "$profile" in
    run) wanted=("${build[@]}" "${gui[@]}" "${headless[@]}") ;;
    test) wanted=("${build[@]}" "${gui[@]}" "${tests[@]}" "${cross[@]}" "${release[@]}") ;;
    release) wanted=("${release[@]}") ;;
    *) echo "usage: $0 run|test|release" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
