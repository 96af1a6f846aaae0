#!/usr/bin/env python3
"""Footprint figures of Mivo under Wine (scripts/bench.sh runs this):

- the time from the start of the process to its icon docked in the tray,
  as a ratio to the time a minimal Win32 program takes to start and end,
  the median of RUNS runs of each, taken in turn;
- the CPU time (utime + stime from /proc/PID/stat, in clock ticks) that an
  idle Mivo uses over IDLE seconds after its icon docked.

    bench.py --work DIR --mivo Mivo.exe --minimal minimal.exe --recorder
             mivo_recorder.exe --probe probe.exe [--runs 10] [--idle 10]

It brings up a session of its own (display, tray, prefix) in DIR.
"""

import argparse
import os
import shutil
import statistics
import sys
import time

from harness import C_DIR, Failure, Paths, Proc, Session, pid_cmdline, wait_for

RECORDER = C_DIR + "\\mivo_recorder.exe"


def log(message):
    print(message, flush=True)


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime and stime, fields 14 and 15


class Bench:
    def __init__(self, session, label_dir):
        self.session = session
        self.dir = label_dir
        self.count = 0

    def wine(self, *args):
        self.count += 1
        return Proc(["wine", *args], self.session.env(), self.dir / f"{self.count:03d}")

    def icon_ids(self):
        return {icon[0] for icon in self.session.tray_icons()}

    def time_to_dock(self, tail):
        """Seconds from the start of a Mivo to its icon in the tray; the
        process is ended after."""
        before = self.icon_ids()
        start = time.monotonic()
        proc = self.wine(C_DIR + "\\Mivo.exe", tail)

        def docked():
            check_alive(proc)
            return self.icon_ids() - before

        wait_for("Mivo's icon to dock", 30, docked, 0.005)
        elapsed = time.monotonic() - start
        proc.stop()
        wait_for("the icon to leave after the process ended", 10,
                 lambda: self.icon_ids() == before)
        return elapsed

    def time_to_exit(self, exe):
        start = time.monotonic()
        proc = self.wine(exe)
        code = proc.wait(30, exe)
        elapsed = time.monotonic() - start
        if code != 0:
            raise Failure(f"{exe} ended with {code}")
        return elapsed


def check_alive(proc):
    if proc.poll() is not None:
        raise Failure(f"Mivo ended with {proc.poll()} before its icon docked")


def main():
    parser = argparse.ArgumentParser()
    for name in ("--work", "--mivo", "--minimal", "--recorder", "--probe"):
        parser.add_argument(name, required=True)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--idle", type=float, default=10.0)
    args = parser.parse_args()

    paths = Paths(args.work)
    session = Session.setup(paths, lambda m: None)
    resident = None
    try:
        paths.c_dir.mkdir(parents=True, exist_ok=True)
        for source, name in ((args.mivo, "Mivo.exe"), (args.minimal, "minimal.exe"),
                             (args.recorder, "mivo_recorder.exe"), (args.probe, "probe.exe")):
            shutil.copyfile(source, paths.c_dir / name)
        bench = Bench(session, paths.logs / "bench")
        # A resident instance keeps Wine's tray host running, as the shell is
        # on Windows; otherwise each start would also wait for it.
        before = bench.icon_ids()
        resident = bench.wine(C_DIR + "\\Mivo.exe")
        wait_for("the resident Mivo's icon", 30, lambda: bench.icon_ids() - before)
        # One unmeasured run of each, so that both find their files cached.
        bench.time_to_dock(RECORDER)
        bench.time_to_exit(C_DIR + "\\minimal.exe")

        docks, exits = [], []
        for _ in range(args.runs):
            docks.append(bench.time_to_dock(RECORDER))
            exits.append(bench.time_to_exit(C_DIR + "\\minimal.exe"))
        dock, exit_ = statistics.median(docks), statistics.median(exits)
        log(f"start to icon docked: median {dock * 1000:.0f} ms of {args.runs} "
            f"(min {min(docks) * 1000:.0f}, max {max(docks) * 1000:.0f})")
        log(f"minimal program, start to end: median {exit_ * 1000:.0f} ms of {args.runs} "
            f"(min {min(exits) * 1000:.0f}, max {max(exits) * 1000:.0f})")
        log(f"ratio: {dock / exit_:.2f}")

        before = bench.icon_ids()
        proc = bench.wine(C_DIR + "\\Mivo.exe", RECORDER)
        wait_for("Mivo's icon to dock", 30, lambda: check_alive(proc) or bench.icon_ids() - before)
        time.sleep(1.0)  # the end of start-up is not idle time
        if "Mivo.exe" not in pid_cmdline(proc.pid):
            raise Failure(f"process {proc.pid} is not Mivo: {pid_cmdline(proc.pid)}")
        first = cpu_ticks(proc.pid)
        time.sleep(args.idle)
        used = cpu_ticks(proc.pid) - first
        log(f"CPU while idle for {args.idle:g} s: {used} ticks (utime+stime, "
            f"{os.sysconf('SC_CLK_TCK')} ticks a second; {first} ticks for the start-up)")
        proc.stop()
        return 0
    except Failure as failure:
        log(f"bench failed: {failure}")
        return 1
    finally:
        if resident:
            resident.stop()
        session.cleanup(lambda m: None)


if __name__ == "__main__":
    sys.exit(main())
