#!/usr/bin/env python3
"""Measures the Windows program (skyfault.exe) under Wine, beside skyfault-sim.exe.

Usage: wine_program.py SKYFAULT_EXE SIM_EXE DRIVER_EXE [--runs N] [--template PREFIX]
                       [--server-gone SECONDS]

Everything runs in one private Wine session (a copy of a prepared prefix,
X11 driver, on a private Xvfb started beforehand and not timed; the
wineserver and Wine's own processes are already up, as on a desktop where
Wine has run before). Per run, in a fresh folder without skyfault.cfg:

- start to window shown: from starting `wine skyfault.exe` until its main
  window is visible, as seen by skyfault-windriver polling every 2 ms (it
  is started first and waits).
- peak resident memory: VmHWM of the program's process (1 s after the
  window is shown). Under Wine this counts the Windows DLLs and Wine's own
  libraries that the process has touched.
- the same for skyfault-sim.exe, a console program with one hidden window,
  as Wine's own share: start to its "ready" line, and its peak memory.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

DRIVER_UP = b"watching"


def peak_mib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return None


def read_line(process, timeout):
    """One line of a child's output within `timeout` seconds, or None."""
    import select
    fd = process.stdout.fileno()
    deadline = time.monotonic() + timeout
    line = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        byte = os.read(fd, 1)
        if not byte:
            break
        if byte == b"\n":
            return line.rstrip(b"\r")
        line += byte
    return None


class WineSession:
    def __init__(self, template, driver):
        self.folder = tempfile.mkdtemp(prefix="skyfault-winebench-")
        self.prefix = os.path.join(self.folder, "prefix")
        self.xvfb = None
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        try:
            if not template or not os.path.exists(os.path.join(template, ".skyfault-ready")):
                raise RuntimeError("no prepared Wine prefix: source scripts/wine-env.sh first")
            subprocess.run(["cp", "-a", template, self.prefix], check=True)
            user_reg = os.path.join(self.prefix, "user.reg")
            with open(user_reg) as f:
                lines = [l for l in f if not l.startswith('"Graphics"=')]
            lines.append('\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Decorated"="N"\n'
                         '"Managed"="N"\n')
            with open(user_reg, "w") as f:
                f.writelines(lines)
            read_end, write_end = os.pipe()
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                 "-nolisten", "tcp"], pass_fds=[write_end], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            os.close(write_end)
            display = b""
            deadline = time.monotonic() + 10
            while not display.endswith(b"\n") and time.monotonic() < deadline:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                display += chunk
            os.close(read_end)
            if not display.strip():
                raise RuntimeError("Xvfb gave no display")
            self.env["DISPLAY"] = ":" + display.decode().strip()
            subprocess.run(["wineserver", "-p60"], env=self.env, check=True, timeout=30)
            subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, timeout=60,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            # Wine's desktop up before any measured program makes a window.
            subprocess.run(["wine", driver, "desktop"], env=self.env, timeout=60, check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        except BaseException:
            self.close()
            raise

    def start(self, args, cwd=None, stdin=subprocess.DEVNULL):
        return subprocess.Popen(["wine"] + args, env=self.env, cwd=cwd, stdin=stdin,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def one_run(session, program, sim, driver):
    work = tempfile.mkdtemp(prefix="run-", dir=session.folder)
    sim_started = time.monotonic()
    sim_process = session.start([sim], stdin=subprocess.PIPE)
    app = watcher = None
    try:
        if read_line(sim_process, 30) != b"ready":
            raise RuntimeError("skyfault-sim.exe did not say ready")
        sim_ready = time.monotonic() - sim_started
        watcher = session.start([driver, "say", DRIVER_UP.decode(), "wait-shown", "main", "60"])
        if read_line(watcher, 30) != DRIVER_UP:
            raise RuntimeError("skyfault-windriver did not start")
        started = time.monotonic()
        app = session.start([program], cwd=work)
        line = read_line(watcher, 60)
        shown = time.monotonic()
        if line != b"shown main":
            ended = "" if app.poll() is None else f" (the program ended with {app.returncode})"
            raise RuntimeError(f"the main window was not shown: {line!r}{ended}")
        time.sleep(1.0)  # let it settle before the peak is read
        with open(f"/proc/{app.pid}/cmdline", "rb") as f:
            # Wine shows the Windows command line of the process it runs.
            if b"skyfault.exe" not in f.read().split(b"\0")[0]:
                raise RuntimeError("the program's process is not where it was started")
        return shown - started, peak_mib(app.pid), sim_ready, peak_mib(sim_process.pid)
    finally:
        for process in (app, watcher):
            if process:
                stop(process)
        try:
            sim_process.stdin.write(b"quit\n")
            sim_process.stdin.close()
            sim_process.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            stop(sim_process)


GONE_CONFIG = (
    "[General]\r\nRate=1000\r\nFrequency=1\r\nActivated=1\r\nAudioNotification=0\r\n"
    "VisualNotification=1\r\nFuelLeakSpeed=2\r\nPauseWithSim=1\r\n\r\n[Failures]\r\n"
    "Engine1=1\r\nLeftTank=1\r\nLandingGear=1\r\nPitot=1\r\n\r\n[Systems]\r\n"
    "Engine1Str=1,0,999,-50,100,-999,99999,C\r\nLeftTankStr=1,0,999,-50,100,-999,99999,C\r\n"
    "LandingGearStr=1,0,999,-50,100,-999,99999,C\r\nPitotStr=1,0,0,-50,100,-999,99999,C\r\n")


def gone_run(session, program, sim, driver, seconds):
    """How long the main window takes to answer while the simulator is gone.

    The program checks every second with the pause check on, an engine, a
    tank and the gear failed (held every 2 or 3 s, drained every second) and
    a Pitot failure due at every check whose airspeed window never holds
    while the simulator answers (it opens at 0 kt, which is what a read that
    delivers nothing leaves). Once all three have failed, the stand-in quits;
    then skyfault-windriver asks the window for its title every 20 ms."""
    work = tempfile.mkdtemp(prefix="gone-", dir=session.folder)
    with open(os.path.join(work, "skyfault.cfg"), "w", newline="") as f:
        f.write(GONE_CONFIG)
    sim_process = session.start([sim], stdin=subprocess.PIPE)
    app = None
    try:
        if read_line(sim_process, 30) != b"ready":
            raise RuntimeError("skyfault-sim.exe did not say ready")
        app = session.start([program], cwd=work)
        subprocess.run(["wine", driver, "wait-title", "main", "Skyfault Connected", "60"],
                       env=session.env, timeout=90, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL)
        time.sleep(5)  # the three failures happen and go on
        sim_process.stdin.write(b"quit\n")
        sim_process.stdin.close()
        sim_process.wait(timeout=15)
        time.sleep(1)
        out = subprocess.run(["wine", driver, "answer", "main", str(seconds)], env=session.env,
                             timeout=seconds + 300, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE).stdout.decode().split()
        if len(out) != 6 or out[0] != "answers":
            raise RuntimeError(f"skyfault-windriver answered {out!r}")
        return int(out[1]), float(out[3]), float(out[5])
    finally:
        if app:
            stop(app)
        stop(sim_process)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("sim")
    parser.add_argument("driver")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--template", default=os.environ.get("WINEPREFIX"))
    parser.add_argument("--server-gone", type=float, default=0, metavar="SECONDS",
                        help="only measure how the window answers while the simulator is gone")
    args = parser.parse_args()
    # The program starts in a folder of its own.
    program, sim, driver = (os.path.abspath(p) for p in (args.program, args.sim, args.driver))
    session = WineSession(args.template, driver)
    if args.server_gone > 0:
        try:
            answers, median, worst = gone_run(session, program, sim, driver, args.server_gone)
        finally:
            session.close()
        print(f"| skyfault.exe with the simulator gone: its window's answer to WM_GETTEXT, "
              f"every 20 ms for {args.server_gone:.0f} s | {answers} answers, median "
              f"{median:.1f} ms, worst {worst:.1f} ms | < 200 ms: "
              f"{'met' if worst < 200 else 'MISSED'} |")
        return 0
    try:
        results = [one_run(session, program, sim, driver) for _ in range(args.runs)]
    finally:
        session.close()
    times = [r[0] for r in results]
    peaks = [r[1] for r in results if r[1] is not None]
    sim_times = [r[2] for r in results]
    sim_peaks = [r[3] for r in results if r[3] is not None]
    print(f"| skyfault.exe, start to window shown, Wine on Xvfb ({args.runs} runs) | median "
          f"{statistics.median(times) * 1000:.0f} ms (min {min(times) * 1000:.0f}, max "
          f"{max(times) * 1000:.0f}) | < 500 ms: "
          f"{'met' if statistics.median(times) < 0.5 else 'MISSED'} |")
    print(f"| skyfault-sim.exe, start to ready, same session | median "
          f"{statistics.median(sim_times) * 1000:.0f} ms (min {min(sim_times) * 1000:.0f}, max "
          f"{max(sim_times) * 1000:.0f}) | |")
    print(f"| peak resident memory under Wine (VmHWM) | skyfault.exe max {max(peaks):.1f} MiB; "
          f"skyfault-sim.exe max {max(sim_peaks):.1f} MiB | < 80 MB: "
          f"{'met' if max(peaks) * 1048576 < 80e6 else 'MISSED'} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
