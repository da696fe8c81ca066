#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# formatting, the native build's tests, and the Windows build's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh test

echo "== clang-format"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run -Werror

jobs=$(nproc)

echo "== native build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

echo "== Windows build and tests under Wine"
source scripts/wine-env.sh
# Wine's server and background processes end with this script, however it ends.
trap skyfault_wine_stop EXIT
cmake --preset windows-cross >/dev/null
cmake --build --preset windows-cross -j "$jobs"
# Again: a long build may have outlasted the idle server.
skyfault_wine_start
wine_started=$SECONDS
ctest --preset windows-cross -j "$jobs"
echo "Tests under Wine took $((SECONDS - wine_started)) s" >&2
