#!/usr/bin/env bash
# Configures the "sanitize" preset (Debug, tests, AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer), builds everything and runs
# the whole CTest suite under it.
# Usage: scripts/sanitize.sh [extra ctest arguments]
# Environment: SANITIZE_BUILD_DIR (default <repo>/build-asan), SANITIZE_JOBS (default 2).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${SANITIZE_BUILD_DIR:-$root/build-asan}
jobs=${SANITIZE_JOBS:-2}

cd "$root"
cmake --preset sanitize -B "$build" >/dev/null
cmake --build "$build" -j "$jobs"

# The same options as the test preset "sanitize" (CMakePresets.json).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/hardening/lsan.supp:print_suppressions=0}
ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 900 -j "$jobs" "$@"
