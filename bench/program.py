#!/usr/bin/env python3
"""Measures the Skyfault program itself, beside the simulator stand-in.

Usage: program.py PROGRAM SIM [--runs N] [--idle-seconds S] [--xvfb-run PATH]

PROGRAM is the end-to-end tests' build of the program (skyfault-e2e): the
program's own sources plus the hooks that report its title and status line.

- start-up: time from the program's start to its main window shown, taken as
  the moment its hooks answer a first command: they are attached as the
  window is shown and read commands only once the event loop runs.
  Offscreen (QT_QPA_PLATFORM=offscreen) and, when xvfb-run is there, under
  Xvfb (the X server is started beforehand and not timed).
- peak resident memory of such a run (GNU time -v, "Maximum resident set size").
- idle CPU: with the pause check on and Engine 1, Left Tank, Landing Gear and
  Flaps failed (rate 1, interval 1), so that every timer runs, the CPU time
  the program uses over S seconds (/proc/PID/stat utime + stime).

Each run has its own folder (skyfault.cfg) and its own XDG_RUNTIME_DIR.
"""
import argparse
import collections
import os
import select
import shutil
import signal
import statistics
import threading
import subprocess
import sys
import tempfile
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
TIME = "/usr/bin/time"

IDLE_CONFIG = "\r\n".join([
    "[General]",
    "Rate=1",
    "Frequency=1",
    "Activated=1",
    "AudioNotification=0",
    "VisualNotification=1",
    "FuelLeakSpeed=2",
    "PauseWithSim=1",
    "",
    "[Failures]",
    "Engine1=1",
    "LeftTank=1",
    "LandingGear=1",
    "Flaps=1",
    "",
    "[Systems]",
    "Engine1Str=1,-1000,1000,-1000,1000,-1000,1000000,C",
    "LeftTankStr=1,-1000,1000,-1000,1000,-1000,1000000,C",
    "LandingGearStr=1,-1000,1000,-1000,1000,-1000,1000000,C",
    "FlapsStr=1,-1000,1000,-1000,1000,-1000,1000000,C",
    "",
]) + "\r\n"
IDLE_FAILURES = {"Engine 1", "Left Tank", "Landing Gear", "Flaps"}


class Sim:
    """skyfault-sim in a private runtime directory."""

    def __init__(self, sim, runtime):
        self.process = subprocess.Popen(
            [sim], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, env=dict(os.environ, XDG_RUNTIME_DIR=runtime))
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            line = self.process.stdout.readline()
            if not line or line.strip() == b"ready":
                break
        else:
            raise RuntimeError("skyfault-sim did not say ready")
        # The sim prints every write it receives ("write 0x0890 2 0000"):
        # counted by offset, as a witness that the timers run.
        self.writes = collections.Counter()
        self.drain = threading.Thread(target=self._drain, daemon=True)
        self.drain.start()

    def _drain(self):
        for line in self.process.stdout:
            parts = line.split()
            if len(parts) >= 2 and parts[0] == b"write":
                self.writes[parts[1].decode()] += 1

    def cpu_seconds(self):
        return cpu_seconds(self.process.pid)

    def stop(self):
        self.process.terminate()
        self.process.wait()
        self.drain.join()


class Program:
    """The program with its hooks (skyfault-e2e), in its own folder."""

    def __init__(self, program, folder, runtime, platform, measure_memory):
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM=platform)
        command = [program]
        self.time_output = None
        if measure_memory:
            self.time_output = os.path.join(folder, "time.txt")
            command = [TIME, "-v", "-o", self.time_output] + command
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, cwd=folder, env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.process.stdin.write(b"ping\n")
        self.process.stdin.flush()
        self.buffer = b""
        self.lines = []

    def pid(self):
        """The program's own pid (not GNU time's)."""
        if self.time_output is None:
            return self.process.pid
        for _ in range(100):
            try:
                with open(f"/proc/{self.process.pid}/task/{self.process.pid}/children") as f:
                    children = f.read().split()
                if children:
                    return int(children[0])
            except OSError:
                pass
            time.sleep(0.01)
        raise RuntimeError("the program did not start")

    def wait_for(self, predicate, timeout):
        """Reads lines until one satisfies predicate; returns it and the time."""
        deadline = time.monotonic() + timeout
        fd = self.process.stdout.fileno()
        while True:
            while b"\n" in self.buffer:
                line, self.buffer = self.buffer.split(b"\n", 1)
                text = line.decode("utf-8", "replace")
                self.lines.append(text)
                if predicate(text):
                    return text, time.monotonic()
            left = deadline - time.monotonic()
            if left <= 0:
                return None, time.monotonic()
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 4096)
                if not chunk:
                    return None, time.monotonic()
                self.buffer += chunk

    def stop(self):
        """Ends the program; the peak resident memory in MiB when measured."""
        try:
            os.kill(self.pid() if self.time_output else self.process.pid, signal.SIGTERM)
        except (OSError, RuntimeError):
            self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if self.time_output:
            with open(self.time_output) as f:
                for line in f:
                    if "Maximum resident set size" in line:
                        return int(line.rsplit(":", 1)[1]) / 1024.0
        return None


def cpu_seconds(pid):
    """CPU time of every thread of the process so far, in seconds.

    utime + stime of /proc/PID/stat count in clock ticks (10 ms) and are
    sampled; the scheduler's own run time (/proc/PID/task/*/schedstat, in ns)
    is exact, and is used where the kernel has it.
    """
    total, found = 0, False
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
                found = True
    except OSError:
        found = False
    if found:
        return total / 1e9
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # After the name: state is field 3; utime and stime are fields 14 and 15.
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def start_up(program, sim_path, platform, runs):
    """Start-up times (s) and peak memory (MiB) of `runs` runs."""
    times, peaks, title = [], [], None
    for _ in range(runs):
        with tempfile.TemporaryDirectory(prefix="skyfault-prog-") as folder:
            runtime = os.path.join(folder, "run")
            os.mkdir(runtime, 0o700)
            sim = Sim(sim_path, runtime)
            try:
                prog = Program(program, folder, runtime, platform, measure_memory=True)
                line, shown = prog.wait_for(lambda t: "unknown command ping" in t, 30)
                if line is None:
                    prog.stop()
                    raise RuntimeError("the program did not answer its first command: "
                                       + " / ".join(prog.lines[-5:]))
                times.append(shown - prog.started)
                title = next((l for l in reversed(prog.lines) if l.startswith("title: ")), title)
                time.sleep(1.0)  # let it settle before the peak is read
                peaks.append(prog.stop())
            finally:
                sim.stop()
    return times, peaks, title


def idle(program, sim_path, platform, seconds):
    with tempfile.TemporaryDirectory(prefix="skyfault-idle-") as folder:
        runtime = os.path.join(folder, "run")
        os.mkdir(runtime, 0o700)
        with open(os.path.join(folder, "skyfault.cfg"), "w", newline="") as f:
            f.write(IDLE_CONFIG)
        sim = Sim(sim_path, runtime)
        try:
            prog = Program(program, folder, runtime, platform, measure_memory=False)
            failed = set()

            def failure(text):
                if text.startswith("status: red: Failure: "):
                    failed.add(text[len("status: red: Failure: "):])
                return failed >= IDLE_FAILURES

            line, _ = prog.wait_for(failure, 60)
            if line is None:
                prog.stop()
                raise RuntimeError("not every failure happened: " + " / ".join(prog.lines[-5:]))
            time.sleep(2.0)  # the last failure's timer is running too
            pid = prog.process.pid
            writes_before = sum(sim.writes.values())
            before, sim_before, start = cpu_seconds(pid), sim.cpu_seconds(), time.monotonic()
            time.sleep(seconds)
            after, sim_after, stop = cpu_seconds(pid), sim.cpu_seconds(), time.monotonic()
            writes = sum(sim.writes.values()) - writes_before
            prog.stop()
            elapsed = stop - start
            return ((after - before) / elapsed * 100.0, (sim_after - sim_before) / elapsed * 100.0,
                    writes / elapsed)
        finally:
            sim.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("sim")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--idle-seconds", type=float, default=60.0)
    parser.add_argument("--platform", default="offscreen",
                        help="QT_QPA_PLATFORM for this invocation (xcb under xvfb-run)")
    parser.add_argument("--no-idle", action="store_true")
    parser.add_argument("--no-start-up", action="store_true")
    args = parser.parse_args()
    if not os.path.exists(TIME):
        print(f"{TIME} is missing (Debian package 'time'): peak memory not measured")
        return 1
    label = {"offscreen": "offscreen", "xcb": "Xvfb"}.get(args.platform, args.platform)
    if not args.no_start_up:
        times, peaks, title = start_up(args.program, args.sim, args.platform, args.runs)
        print(f"| start to window shown ({label}, {args.runs} runs) | median "
              f"{statistics.median(times) * 1000:.0f} ms (min {min(times) * 1000:.0f}, max "
              f"{max(times) * 1000:.0f}) | < 500 ms: "
              f"{'met' if statistics.median(times) < 0.5 else 'MISSED'} |")
        print(f"| peak resident memory ({label}) | max {max(peaks):.1f} MiB | < 80 MB: "
              f"{'met' if max(peaks) * 1048576 < 80e6 else 'MISSED'} |")
        if title:
            print(f"|   (window {title}) | | |")
    if not args.no_idle:
        program_cpu, sim_cpu, writes = idle(args.program, args.sim, args.platform,
                                            args.idle_seconds)
        print(f"| idle CPU, every timer running ({label}, {args.idle_seconds:.0f} s) | "
              f"{program_cpu:.3f} % of one core (stand-in: {sim_cpu:.3f} %; "
              f"{writes:.1f} writes/s reached it) | < 1 %: "
              f"{'met' if program_cpu < 1.0 else 'MISSED'} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
