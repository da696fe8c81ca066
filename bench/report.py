#!/usr/bin/env python3
"""Prints the table of a skyfault-bench run from its JSON output.

Usage: report.py BENCH.json

With repetitions, the median of each benchmark is shown. The exchange over
the local transport is set against the raw baseline of the same run.
"""
import json
import sys

# run name prefix -> (what is measured, time target in ns or None)
ROWS = [
    ("BM_CodecQueue/1", "codec: queue 1 read", None),
    ("BM_CodecQueue/10", "codec: queue 10 reads", None),
    ("BM_CodecQueue/100", "codec: queue 100 reads", None),
    ("BM_CodecQueue/1625", "codec: queue 1625 reads (block full)", None),
    ("BM_CodecTerminate/1", "codec: terminate, 1 read queued", None),
    ("BM_CodecTerminate/10", "codec: terminate, 10 reads queued", None),
    ("BM_CodecTerminate/100", "codec: terminate, 100 reads queued", None),
    ("BM_CodecTerminate/1625", "codec: terminate, 1625 reads queued", None),
    ("BM_CodecScanReply/1", "codec: scan reply of 1 read", None),
    ("BM_CodecScanReply/10", "codec: scan reply of 10 reads", None),
    ("BM_CodecScanReply/100", "codec: scan reply of 100 reads", None),
    ("BM_CodecScanReply/1625", "codec: scan reply of 1625 reads", None),
    ("BM_FailureTick_NoHit", "failure check tick, 25 allowed, no hit", 2000.0),
    ("BM_FailureTick_Hit", "failure check tick with a hit (3 reads + write)", None),
    ("BM_ContinuingTick_EngineOut", "engine out tick (1 engine)", None),
    ("BM_ContinuingTick_FuelLeak", "fuel leak tick (1 tank)", None),
    ("BM_ContinuingTick_GearStuck", "gear stuck tick (held)", None),
    ("BM_ContinuingTick_FlapsStuck", "flaps stuck tick (held)", None),
    ("BM_Exchange_LocalTransport", "exchange: link over local transport, skyfault-sim", None),
    ("BM_Exchange_RawBaseline", "exchange: raw socket + shared page baseline", None),
]
# Benchmarks that must not allocate.
NO_ALLOCATIONS = ("BM_FailureTick_NoHit", "BM_Exchange_LocalTransport")
EXCHANGE_RATIO_TARGET = 1.5


def pick(benchmarks):
    """run_name -> the median aggregate, or the single run."""
    chosen = {}
    for b in benchmarks:
        name = b.get("run_name", b["name"])
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                chosen[name] = b
        elif name not in chosen:
            chosen[name] = b
    return chosen


def nanoseconds(value, unit):
    return value * {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[unit]


def show_time(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} µs"
    return f"{ns:.1f} ns"


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        data = json.load(f)
    chosen = pick(data["benchmarks"])
    context = data.get("context", {})
    print(f"Benchmarks ({context.get('num_cpus', '?')} CPUs, load average "
          f"{', '.join(f'{x:.2f}' for x in context.get('load_avg', []))} at the start)")
    print()
    print("| what | wall time (median) | CPU time | in-process server | allocations | exchanges "
          "| target |")
    print("|---|---:|---:|---:|---:|---:|---|")
    times = {}
    for prefix, what, target in ROWS:
        run = next((b for name, b in chosen.items()
                    if name == prefix or name.startswith(prefix + "/")), None)
        if run is None:
            print(f"| {what} | not run | | | | | |")
            continue
        if run.get("error_occurred"):
            print(f"| {what} | error: {run.get('error_message', '')} | | | | | |")
            continue
        ns = nanoseconds(run["real_time"], run.get("time_unit", "ns"))
        # Manual time measures a part of each iteration: its CPU time says
        # nothing about that part.
        manual = "manual_time" in run["name"]
        cpu = "–" if manual else show_time(nanoseconds(run["cpu_time"], run.get("time_unit", "ns")))
        times[prefix] = ns
        allocs = run.get("allocs")
        server = run.get("server_ns")
        exchanges = run.get("exchanges")
        verdicts = []
        if target is not None:
            verdicts.append(f"< {show_time(target)}: {'met' if ns < target else 'MISSED'}")
        if prefix in NO_ALLOCATIONS:
            verdicts.append(f"0 allocations: {'met' if allocs == 0 else 'MISSED'}")
        print(f"| {what} | {show_time(ns)} | {cpu} | "
              f"{'' if server is None else show_time(server)} | "
              f"{'' if allocs is None else f'{allocs:g}'} | "
              f"{'' if exchanges is None else f'{exchanges:g}'} | {'; '.join(verdicts)} |")
    local = times.get("BM_Exchange_LocalTransport")
    raw = times.get("BM_Exchange_RawBaseline")
    if local and raw:
        ratio = local / raw
        verdict = "met" if ratio <= EXCHANGE_RATIO_TARGET else "MISSED"
        print(f"| exchange over the local transport / raw baseline | {ratio:.2f} × | | | | | "
              f"≤ {EXCHANGE_RATIO_TARGET} ×: {verdict} |")


if __name__ == "__main__":
    main()
