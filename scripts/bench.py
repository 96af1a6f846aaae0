#!/usr/bin/env python3
# Mivo's footprint under Wine, against a yardstick that shows the same icon
# with the least work (scripts/bench.sh builds both and runs this):
#   bench.py --mivo Mivo.exe --yardstick bench_tray.exe [--work DIR] [--runs N] [--idle S]
# On one virtual desktop with one persistent wineserver it times each from
# its start to its icon docked in the tray, in interleaved rounds, and reads
# the CPU time a docked Mivo uses while nothing happens.
import argparse
import os
import random
import signal
import statistics
import sys
import time
from pathlib import Path

import pefile

sys.path.insert(0, str(Path(__file__).resolve().parent))
import mivo_tray  # noqa: E402

TAIL = r"C:\windows\notepad.exe"
DOCK_GOAL = 1.05  # Mivo's start to docked, at most this times the yardstick's


class Runner:
    def __init__(self, desk, logs):
        self.desk, self.logs, self.count = desk, logs, 0

    def start(self, args):
        # Starts a program and waits for its icon; gives the process, the
        # seconds from its start to the icon, and the icons before it.
        self.count += 1
        before = self.desk.icons()
        began = time.monotonic()
        proc = self.desk.wine(args, self.logs / f"{self.count:03d}")

        def docked():
            if proc.poll() is not None:
                raise RuntimeError(f"{args[0]} ended with {proc.returncode} before its icon docked")
            return [wid for wid in self.desk.icons() if wid not in before]

        mivo_tray.wait_for(f"the icon of {args[0]}", 30, docked, 0.002)
        return proc, time.monotonic() - began, before

    def time_dock(self, args):
        proc, seconds, before = self.start(args)
        proc.terminate()
        proc.wait(10)
        mivo_tray.wait_for("the icon to go with its process", 10, lambda: self.desk.icons() == before)
        return seconds


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def imports(exe):
    pe = pefile.PE(exe, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    return sum(len(e.imports) for e in entries), [e.dll.decode() for e in entries]


def verdict(ok):
    return "met" if ok else "MISSED"


def quartiles(values):
    low, median, high = statistics.quantiles(values, n=4, method="inclusive")
    return f"{median * 1000:.0f} ms (quartiles {low * 1000:.0f}-{high * 1000:.0f})"


def ratio_interval(pairs, draws=2000):
    # The ratio of the medians over rounds drawn again with replacement, a
    # round's two times together: its middle 95% (a bootstrap).
    rng = random.Random(17)
    ratios = []
    for _ in range(draws):
        sample = rng.choices(pairs, k=len(pairs))
        ratios.append(statistics.median(m for m, _ in sample) /
                      statistics.median(y for _, y in sample))
    cuts = statistics.quantiles(ratios, n=40, method="inclusive")
    return cuts[0], cuts[-1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mivo", required=True)
    parser.add_argument("--yardstick", required=True)
    parser.add_argument("--work", default=str(mivo_tray.ROOT / "build" / "bench"))
    parser.add_argument("--runs", type=int, default=30)
    parser.add_argument("--idle", type=float, default=10.0)
    # A folder or a shortcut takes Mivo's second road to its picture, the shell's.
    parser.add_argument("--tail", default=TAIL, help=f"the file both show (default {TAIL})")
    args = parser.parse_args()
    if args.runs < 2:
        parser.error("--runs: at least 2, for a spread")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # so that the desktop is ended
    mivo = [Path(args.mivo).resolve(), args.tail]
    yardstick = [Path(args.yardstick).resolve(), args.tail]
    count, dlls = imports(args.mivo)

    prefix = mivo_tray.prefix_path()
    mivo_tray.ensure_prefix(prefix)
    with mivo_tray.Desktop(prefix) as desk:
        run = Runner(desk, Path(args.work) / "logs")
        run.time_dock(yardstick)  # once each unmeasured: Wine's own start-up, the file cache
        run.time_dock(mivo)
        times = {"mivo": [], "yardstick": []}
        for i in range(args.runs):  # in turn, each first every other round
            pair = [("mivo", mivo), ("yardstick", yardstick)]
            for name, cmd in pair if i % 2 else pair[::-1]:
                times[name].append(run.time_dock(cmd))
            print(f"round {i + 1}: Mivo {times['mivo'][-1] * 1000:.0f} ms, "
                  f"yardstick {times['yardstick'][-1] * 1000:.0f} ms", flush=True)

        proc, _, _ = run.start(mivo)
        time.sleep(1.0)  # the end of start-up is not idle time
        cmdline = Path(f"/proc/{proc.pid}/cmdline").read_bytes()
        if b"Mivo.exe" not in cmdline:
            raise RuntimeError(f"process {proc.pid} is not Mivo: {cmdline!r}")
        first = cpu_ticks(proc.pid)
        time.sleep(args.idle)
        idle = cpu_ticks(proc.pid) - first
        proc.terminate()
        proc.wait(10)

    ratio = statistics.median(times["mivo"]) / statistics.median(times["yardstick"])
    low, high = ratio_interval(list(zip(times["mivo"], times["yardstick"])))
    noise = "within noise" if low <= DOCK_GOAL <= high else verdict(high < DOCK_GOAL)
    rows = [
        (f"yardstick {args.tail}, start to docked", quartiles(times["yardstick"]), ""),
        (f"Mivo {args.tail}, start to docked", quartiles(times["mivo"]), ""),
        (f"ratio of the medians, {args.runs} rounds", f"{ratio:.3f} (95% {low:.3f}-{high:.3f})",
         f"<= {DOCK_GOAL}: {noise}" if args.tail == TAIL else ""),  # the same work only
        ("Mivo.exe size", f"{os.path.getsize(args.mivo)} bytes", ""),
        ("imported functions", f"{count} from {len(dlls)} DLLs", ""),
        ("DLLs", " ".join(dlls), ""),
        (f"idle CPU over {args.idle:g} s", f"{idle} ticks ({os.sysconf('SC_CLK_TCK')}/s; "
         f"{first} for the start-up)", f"0: {verdict(idle == 0)}"),
    ]
    width = max(len(row[0]) for row in rows)
    print()
    for what, value, goal in rows:
        print(f"{what:<{width}}  {value}" + (f"   goal {goal}" if goal else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
