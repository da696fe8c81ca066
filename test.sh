#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# formatting, the fuzz targets for a short while, the Windows build's tests
# under Wine, the whole suite under the sanitizers, and the native build's
# tests (last, so that its summary closes the run).
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh test

jobs=$(nproc)

echo "== clang-format"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run -Werror

echo "== fuzz targets, ${SKYFAULT_FUZZ_SECONDS:-20} s each"
scripts/fuzz.sh "${SKYFAULT_FUZZ_SECONDS:-20}"

echo "== Windows build and tests under Wine"
(
    source scripts/wine-env.sh
    # Wine's server and background processes end with this part, however it ends.
    trap skyfault_wine_stop EXIT
    cmake --preset windows-cross >/dev/null
    cmake --build --preset windows-cross -j "$jobs"
    # Again: a long build may have outlasted the idle server.
    skyfault_wine_start
    wine_started=$SECONDS
    ctest --preset windows-cross -j "$jobs"
    echo "Tests under Wine took $((SECONDS - wine_started)) s"
)

echo "== the whole suite under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer"
SANITIZE_JOBS=$jobs scripts/sanitize.sh

echo "== native build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"
