# The real Mivo.exe under Wine on a desktop of its own, driven as a user
# would (xdotool) and read back through the tray, the registry and probe.exe.
import os
import re
import shutil
import signal
import sys
import time
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import mivo_tray as mt  # noqa: E402

RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
MIVO = r"C:\Program Files\Mivo\Mivo.exe"
BASE = "C:\\mivo-e2e\\"
PROBE, RECORDER, NOTE = BASE + "probe.exe", BASE + "recorder.exe", BASE + "note.txt"


def pytest_addoption(parser):
    for name in ("mivo", "probe", "recorder", "prefix", "logs"):
        parser.addoption("--" + name)


def unescape(text):
    return re.sub(r"\\x([0-9A-F]{2})", lambda m: chr(int(m[1], 16)), text)


class Win:
    def __init__(self, desktop, logs):
        self.d, self.root, self.logs, self.count = desktop, logs, logs, 0
        self.drive = desktop.prefix / "drive_c"

    def wine(self, args, extra_env=None):
        self.count += 1
        name = re.sub(r"\W+", "-", args[-1] if len(args) < 3 else args[1])[-30:]
        return self.d.wine(args, self.logs / f"{self.count:03d}-{name}", extra_env)

    def probe(self, *args):  # exit code and the output's lines
        proc = self.wine([PROBE, *args])
        code = proc.wait(60)
        return code, [unescape(line) for line in proc.out_path.read_text("latin-1").splitlines()]

    def start(self, line, debug=None):  # a command line started as the system starts a Run value
        env = {"PROBE_LINE": line, **({"WINEDEBUG": debug} if debug else {})}
        return self.wine([PROBE, "run", "3600000"], env)  # the probe's exit code is Mivo's

    def dock(self, tail, debug=None):
        before = self.d.icons()
        proc = self.start(f'"{MIVO}" {tail}'.rstrip(), debug)
        return proc, self.d.wait_icon(before)

    def icon(self, wid):
        return self.d.screenshot(self.d.geometry(wid))

    def point(self, wid):
        x, y, w, h = self.d.geometry(wid)
        return x + w // 2, y + h // 2

    def windows(self, cls):  # the visible windows of a class: (left, top, right, bottom), title
        return [((*map(int, ln.split(" ", 4)[:4]),), ln.split(" ", 4)[4]) for ln in self.probe("windows", cls)[1]]

    def tip(self, wid):
        self.d.park()
        mt.wait_for("the tooltips to hide", 10, lambda: not self.windows("tooltips_class32"))
        x, y = self.point(wid)
        self.d.xdotool("mousemove", x - 1, y)
        self.d.xdotool("mousemove", x, y)
        tips = mt.wait_for("the icon's tooltip", 10, lambda: self.windows("tooltips_class32"))
        self.d.park()
        return tips[0][1]

    def menu(self, wid):  # opens the icon's menu; its box once drawn
        self.d.click(*self.point(wid), button=3)
        (l, t, r, b), _ = mt.wait_for("the menu", 10, lambda: self.windows("#32768"))[0]
        shots = [None]

        def steady():
            shots.append(self.d.screenshot((l, t, r - l, b - t)))
            return shots[-2] is not None and shots[-1].tobytes() == shots[-2].tobytes()

        mt.wait_for("the menu to be drawn", 10, steady, 0.2)
        return l, t, r - l, b - t

    def choose(self, wid, item, final="Return"):  # the item-th item, by keyboard
        self.menu(wid)
        self.d.key(*["Down"] * item, final)
        mt.wait_for("the menu to close", 10, lambda: not self.windows("#32768"))

    def box(self, caption):  # the box's texts and icon rectangle; then OK
        code, lines = self.probe("box", caption, "ok")
        assert code == 0, f"no box {caption!r} appeared"
        icon = [tuple(map(int, ln.split()[1:])) for ln in lines if ln.startswith("icon ")]
        return [ln[7:] for ln in lines if ln.startswith("static ")], icon[0] if icon else None

    def run_values(self):  # Run values named "Mivo ...": name -> (type, data)
        proc = self.wine(["reg", "query", RUN_KEY])
        proc.wait(60)
        found = re.findall(r"^    (Mivo .*?)    (REG_\w+)    (.*?)\r?$", proc.out_path.read_text("latin-1"), re.M)
        return {name: (kind, data) for name, kind, data in found}

    def launches(self):  # (working folder, command line) of each start of the recorder
        log = self.drive / "mivo-e2e" / "launch.log"
        lines = log.read_text("latin-1").splitlines() if log.exists() else []
        return [tuple(line.split("\t")) for line in lines]

    def end_mivos(self):
        marker = f"\0WINEPREFIX={self.d.prefix}\0".encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:  # Wine shows a process's Windows command line
                if re.match(rb'"?[A-Z]:\\[^\0]*Mivo\.exe', Path(f"/proc/{pid}/cmdline").read_bytes()) \
                        and marker in b"\0" + Path(f"/proc/{pid}/environ").read_bytes():
                    os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass
        mt.wait_for("the tray to be empty", 10, lambda: not self.d.icons())


@pytest.fixture(scope="session")
def desktop(request):
    opt = request.config.getoption
    prefix = Path(opt("prefix") or mt.prefix_path()).resolve()
    mt.ensure_prefix(prefix)
    drive = prefix / "drive_c"
    for source, target in ((opt("mivo"), MIVO), (opt("probe"), PROBE), (opt("recorder"), RECORDER)):
        target = drive / target[3:].replace("\\", "/")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
    (drive / "mivo-e2e/note.txt").write_bytes(b"Mivo\r\n")
    logs = Path(opt("logs") or mt.ROOT / "build/e2e-logs").resolve()
    shutil.rmtree(logs, ignore_errors=True)
    with mt.Desktop(prefix) as d:
        win = Win(d, logs)
        # Wine's prefix knows the text file class but does not name it for .txt.
        assert win.wine(["reg", "add", r"HKCR\.txt", "/ve", "/d", "txtfile", "/f"]).wait(60) == 0
        yield win


@pytest.fixture
def win(desktop, request):
    desktop.logs = desktop.root / re.sub(r"\W+", "-", request.node.name)
    desktop.end_mivos()
    for name in desktop.run_values():
        assert desktop.wine(["reg", "delete", RUN_KEY, "/v", name, "/f"]).wait(60) == 0
    (desktop.drive / "mivo-e2e/launch.log").unlink(missing_ok=True)
    desktop.d.park()
    yield desktop
    desktop.end_mivos()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    report = (yield).get_result()
    win = item.funcargs.get("win")
    if report.failed and win:
        win.logs.mkdir(parents=True, exist_ok=True)
        win.d.screenshot().save(win.logs / f"failed-{report.when}.png")
