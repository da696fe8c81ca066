#!/usr/bin/env bash
# Measures speed and memory: builds the benchmarks in Release (build-bench/),
# runs them and prints a table, then measures the program itself (start-up
# time, peak memory, idle CPU) beside the simulator stand-in, and the Windows
# program under Wine (start-up time, peak memory) beside skyfault-sim.exe, and
# how its window answers once the simulator has gone.
#
# Usage: scripts/bench.sh [--quick] [--no-program] [--no-windows]
#   --quick       one repetition of each benchmark and a 10 s idle measurement
#   --no-program  the benchmarks only
#   --no-windows  not the Windows program (it needs the cross build, build-win/)
# Environment:
#   SKYFAULT_PROGRAM  the program to measure, as the end-to-end tests build it
#                     with its hooks (default build-release/bin/skyfault-e2e; build it
#                     with: cmake --preset release -DBUILD_TESTING=ON &&
#                     cmake --build --preset release --target skyfault-e2e)
#   BENCH_FILTER      a Google Benchmark filter (regular expression)
# Run it on a quiet machine: other work on the cores shows in every number.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
repetitions=5
idle_seconds=60
program_too=1
windows_too=1
for arg in "$@"; do
    case "$arg" in
        --quick) repetitions=1; idle_seconds=10 ;;
        --no-program) program_too=0 ;;
        --no-windows) windows_too=0 ;;
        *) echo "usage: $0 [--quick] [--no-program] [--no-windows]" >&2; exit 2 ;;
    esac
done

# Warnings are checked by the Debug builds and CI; at -O3 GCC 12 also gives
# false alarms (-Wrestrict) that must not stop a measurement.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKYFAULT_BENCH=ON \
    -DSKYFAULT_BUILD_GUI=OFF -DBUILD_TESTING=OFF -DSKYFAULT_WERROR=OFF >/dev/null
cmake --build "$build" --target skyfault-bench skyfault-sim -j2

echo
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores;" \
    "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

json="$build/bench.json"
"$build/bin/skyfault-bench" \
    --benchmark_filter="${BENCH_FILTER:-.}" \
    --benchmark_repetitions="$repetitions" \
    --benchmark_enable_random_interleaving="$([ "$repetitions" -gt 1 ] && echo true || echo false)" \
    --benchmark_report_aggregates_only=false \
    --benchmark_min_time=0.2 \
    --benchmark_out="$json" --benchmark_out_format=json >"$build/bench.txt" 2>&1 || {
    cat "$build/bench.txt"
    exit 1
}
python3 "$root/bench/report.py" "$json"
echo
echo "(Google Benchmark's own output: $build/bench.txt)"

measure_linux_program() {
    echo
    program=${SKYFAULT_PROGRAM:-$root/build-release/bin/skyfault-e2e}
    if [ ! -x "$program" ]; then
        echo "The program itself: skipped, $program does not exist yet" \
            "(cmake --preset release -DBUILD_TESTING=ON &&" \
            "cmake --build --preset release --target skyfault-e2e; or set SKYFAULT_PROGRAM)."
        return 0
    fi
    echo "The program itself: $program"
    echo
    echo "| what | measured | target |"
    echo "|---|---|---|"
    sim="$build/bin/skyfault-sim"
    python3 "$root/bench/program.py" "$program" "$sim" --platform offscreen --no-idle
    if command -v xvfb-run >/dev/null; then
        xvfb-run -a -s "-screen 0 1280x1024x24" \
            python3 "$root/bench/program.py" "$program" "$sim" --platform xcb --no-idle
        xvfb-run -a -s "-screen 0 1280x1024x24" \
            python3 "$root/bench/program.py" "$program" "$sim" --platform xcb --no-start-up \
            --idle-seconds "$idle_seconds"
    else
        echo "| start to window shown (Xvfb) | skipped: xvfb-run is missing | |"
        python3 "$root/bench/program.py" "$program" "$sim" --platform offscreen --no-start-up \
            --idle-seconds "$idle_seconds"
    fi
}

# The Windows program under Wine, from the cross build (Release).
measure_windows_program() {
    echo
    if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null ||
        ! command -v Xvfb >/dev/null; then
        echo "The Windows program: skipped, MinGW-w64, Wine or Xvfb is missing (scripts/deps.sh test)."
        return 0
    fi
    [ -f "$root/build-win/build.ninja" ] || cmake --preset windows-cross >/dev/null
    if ! cmake --build --preset windows-cross -j2 --target skyfault skyfault-sim skyfault-windriver \
        >"$build/build-win.txt" 2>&1; then
        echo "The Windows program: skipped, it does not build (see $build/build-win.txt)."
        return 0
    fi
    echo "The Windows program under Wine: $root/build-win/bin/skyfault.exe"
    echo
    echo "| what | measured | target |"
    echo "|---|---|---|"
    (
        cd "$root"
        source scripts/wine-env.sh
        trap skyfault_wine_stop EXIT
        python3 "$root/bench/wine_program.py" "$root/build-win/bin/skyfault.exe" \
            "$root/build-win/bin/skyfault-sim.exe" "$root/build-win/tests/skyfault-windriver.exe" \
            --runs "$repetitions"
        python3 "$root/bench/wine_program.py" "$root/build-win/bin/skyfault.exe" \
            "$root/build-win/bin/skyfault-sim.exe" "$root/build-win/tests/skyfault-windriver.exe" \
            --server-gone "$idle_seconds"
    )
}

if [ "$program_too" -eq 1 ]; then
    measure_linux_program
    [ "$windows_too" -eq 0 ] || measure_windows_program
fi
