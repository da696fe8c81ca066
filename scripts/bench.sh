#!/usr/bin/env bash
# Measures speed and memory: builds the benchmarks in Release (build-bench/),
# runs them and prints a table, then measures the program itself (start-up
# time, peak memory, idle CPU) beside the simulator stand-in.
#
# Usage: scripts/bench.sh [--quick] [--no-program]
#   --quick       one repetition of each benchmark and a 10 s idle measurement
#   --no-program  the benchmarks only
# Environment:
#   SKYFAULT_PROGRAM  the program to measure (default build-release/bin/skyfault;
#                     build it with: cmake --preset release && cmake --build --preset release)
#   BENCH_FILTER      a Google Benchmark filter (regular expression)
# Run it on a quiet machine: other work on the cores shows in every number.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
repetitions=5
idle_seconds=60
program_too=1
for arg in "$@"; do
    case "$arg" in
        --quick) repetitions=1; idle_seconds=10 ;;
        --no-program) program_too=0 ;;
        *) echo "usage: $0 [--quick] [--no-program]" >&2; exit 2 ;;
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

[ "$program_too" -eq 1 ] || exit 0
echo
program=${SKYFAULT_PROGRAM:-$root/build-release/bin/skyfault}
if [ ! -x "$program" ]; then
    echo "The program itself: skipped, $program does not exist yet" \
        "(cmake --preset release && cmake --build --preset release; or set SKYFAULT_PROGRAM)."
    exit 0
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
