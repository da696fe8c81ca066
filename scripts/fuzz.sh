#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 20).
# Usage: scripts/fuzz.sh [SECONDS]
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_JOBS (default 2).
#
# Each target starts from fuzz/seeds/<target> and fuzz/regressions/<target>
# and keeps what it learns in <build>/corpus/<target>. An input that breaks a
# target is copied to fuzz/regressions/<target>/, where the normal build's
# tests (fuzz_replay_<target>) replay it from then on; commit it with the fix.
set -euo pipefail

seconds=${1:-20}
case "$seconds" in
    ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-2}
targets=(config reply_scan text frame wave)

for tool in clang clang++; do
    command -v "$tool" >/dev/null || { echo "fuzz: $tool is missing (scripts/deps.sh test)" >&2; exit 1; }
done

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSKYFAULT_FUZZ=ON -DSKYFAULT_BUILD_GUI=OFF -DBUILD_TESTING=OFF -DSKYFAULT_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
summary=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$artifacts" "$root/fuzz/regressions/$target"
    log=$build/fuzz_$target.log
    echo "== fuzz_$target for ${seconds}s"
    status=0
    # The wave reader promises no allocation over its 32 MiB cap.
    limits=(-rss_limit_mb=2048)
    [ "$target" = wave ] && limits+=(-malloc_limit_mb=32)
    "$build/bin/fuzz_$target" "$corpus" "$root/fuzz/seeds/$target" \
        "$root/fuzz/regressions/$target" -max_total_time="$seconds" -timeout=10 \
        "${limits[@]}" -max_len=4096 -artifact_prefix="$artifacts/" -print_final_stats=1 \
        >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    summary+=("fuzz_$target: ${runs:-?} executions in ${seconds} s (${rate:-?}/s)")
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        tail -40 "$log" >&2
        for crash in "$artifacts"/*; do
            [ -e "$crash" ] || continue
            cp "$crash" "$root/fuzz/regressions/$target/"
            echo "fuzz: kept $(basename "$crash") in fuzz/regressions/$target/" >&2
        done
    fi
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: broken targets: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets, no crash, no hang, no broken check"
