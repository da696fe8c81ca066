#!/usr/bin/env bash
# Installs what is missing, builds, and starts Skyfault beside the simulator
# stand-in. Skyfault keeps skyfault.cfg in the folder you start it from.
set -euo pipefail
src="$(cd "$(dirname "$0")" && pwd)"

"$src/scripts/deps.sh" run
(cd "$src" && cmake --preset release >/dev/null && cmake --build --preset release -j "$(nproc)")
bin="$src/build-release/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: run it under a display, for example: xvfb-run -a $0" >&2
    exit 1
fi

"$bin/skyfault-sim" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
"$bin/skyfault"
