# The real Mivo.exe under Wine on a desktop of its own, driven as a user
# would (xdotool) and read back through the tray, the registry and probe.exe.
import codecs
import re
from functools import partial
import shutil
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import mivo_tray as mt  # noqa: E402

RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
USER_RUN_KEY = "HKCU" + RUN_KEY[4:]
USER_LIST = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
EVERYONE, STANDARD_USER = "D:(A;;KA;;;WD)", "D:(D;;0x6;;;WD)(A;;KA;;;WD)"  # the machine key's DACL
MIVO = r"C:\Program Files\Mivo\Mivo.exe"
BASE = "C:\\mivo-e2e\\"
PROBE, RECORDER, NOTE = BASE + "probe.exe", BASE + "recorder.exe", BASE + "note.txt"
LINK = BASE + "recorder.lnk"  # a shortcut to the recorder, showing its icon 0
ADDRESS = "mivo-e2e://page/"  # of a scheme that the recorder opens
COPIES = [BASE + "Документы\\письмо.exe", BASE + "文書\\報告.exe", BASE + "😀 party.exe",  # of the recorder
          BASE + "Some Tools\\Some Tool.exe"]
# Mivo unpacked in Downloads, beside a DLL (planted.c) under each of these
# system DLLs' names.
DOWNLOADS, PLANTED = BASE + "Downloads\\", ["uxtheme"]


def pytest_addoption(parser):
    for name in ("mivo", "probe", "recorder", "planted", "prefix", "logs"):
        parser.addoption("--" + name)


class Win:
    def __init__(self, desktop, logs):
        self.d, self.root, self.logs, self.count = desktop, logs, logs, 0
        self.drive = desktop.prefix / "drive_c"

    def wine(self, args, extra_env=None):
        self.count += 1
        return self.d.wine(args, self.logs / f"{self.count:03d}-{args[1].strip('/')}", extra_env)

    def probe(self, *args):  # exit code and lines, split: "kind left top right bottom text"
        proc = self.wine([PROBE, *args])
        code, out = proc.wait(60), proc.out_path.read_bytes()
        return code, [codecs.escape_decode(line)[0].decode().split(" ", 5)
                      for line in out.splitlines()]

    def windows(self, cls):  # the visible windows of a class: ((left, top, right, bottom), title)
        return [(tuple(map(int, w[1:5])), w[5]) for w in self.probe("windows", cls)[1]]

    def start(self, line, env=None):  # a command line started as the system starts a Run value
        return self.wine([PROBE, "run"], {"PROBE_LINE": line, **(env or {})})

    def dock(self, tail, env=None, mivo=MIVO):  # the probe's exit code is Mivo's
        before = self.d.icons()
        proc = self.start(f'"{mivo}" {tail}'.rstrip(), env)
        return proc, self.d.wait_icon(before)

    def icon(self, wid):
        return self.d.screenshot(self.d.geometry(wid))

    def tip(self, wid):
        self.d.xdotool("mousemove", self.d.centre(wid)[0] - 1, self.d.centre(wid)[1])
        self.d.xdotool("mousemove", *self.d.centre(wid))
        tips = mt.wait_for("the icon's tooltip", 10, lambda: self.windows("tooltips_class32"))
        self.d.park()
        return tips[0][1]

    def choose(self, wid, keys):  # keys in the icon's menu; n: its n-th item, by Down and Return.
        # The menu opens by a right press on wid, or for None as the shell opens it for Enter.
        self.probe("enter") if wid is None else self.d.click(*self.d.centre(wid), button=3)
        (left, top, right, bottom), _ = mt.wait_for("a menu", 10, lambda: self.windows("#32768"))[0]
        self.d.steady((left, top, right - left, bottom - top), "the menu to be drawn")
        self.d.key(*(["Down"] * keys + ["Return"] if isinstance(keys, int) else keys))
        mt.wait_for("the menu to close", 10, lambda: not self.windows("#32768"))

    def box(self, caption):  # the box's texts and icon rectangles; then OK
        code, lines = self.probe("box", caption)
        assert code == 0, f"no box {caption!r} appeared"
        return [w[5] for w in lines if w[0] == "text"], \
            [tuple(map(int, w[1:5])) for w in lines if w[0] == "icon"]

    def run_values(self, key=RUN_KEY):  # its values named "Mivo ...": name -> (type, data)
        export = self.logs / "values.reg"  # as regedit writes them, in UTF-16; no key, no file
        key = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}[key[:4]] + key[4:]
        self.wine(["regedit", "/E", "Z:" + str(export).replace("/", "\\"), key]).wait(60)
        text = export.read_text("utf-16") if export.exists() else ""
        export.unlink(missing_ok=True)  # a string, or another type as regedit tags it: hex, hex(2)...
        unescape = partial(re.sub, r"\\(.)", r"\1")
        return {unescape(name): (kind, data) if kind else ("REG_SZ", unescape(string))
                for name, string, kind, data in re.findall(r'^"(Mivo .*?)"=(?:"(.*)"|([^":]+):(.*))$', text, re.M)}

    def launches(self):  # (working folder, command line) of each start of the recorder
        log = self.drive / "mivo-e2e" / "launch.log"
        lines = log.read_text("utf-8").splitlines() if log.exists() else []
        return [tuple(line.split("\t")) for line in lines]

    def end_mivos(self):
        self.d.kill("Mivo.exe")
        mt.wait_for("the tray to be empty", 10, lambda: not self.d.icons())


@pytest.fixture(scope="session")
def desktop(request):
    opt = request.config.getoption
    prefix = Path(opt("prefix") or mt.prefix_path()).resolve()
    reg = prefix / "system.reg"  # its first lines name the Windows it is: these tests stand for a 32-bit one
    arch = re.search(r"^#arch=(\w+)", reg.read_text("latin-1") if reg.exists() else "", re.M)
    assert arch and arch[1] == "win32", \
        f"{prefix} is no win32 Wine prefix ({arch[0] if arch else 'no system.reg'}); scripts/test.sh makes one"
    for source, target in ((opt("mivo"), MIVO), (opt("probe"), PROBE), (opt("recorder"), RECORDER),
                           *((opt("recorder"), copy) for copy in COPIES), (opt("mivo"), DOWNLOADS + "Mivo.exe"),
                           *((opt("planted"), DOWNLOADS + name + ".dll") for name in PLANTED)):
        target = prefix / "drive_c" / target[3:].replace("\\", "/")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
    (prefix / "drive_c/mivo-e2e/note.txt").write_bytes(b"Mivo\r\n")
    logs = Path(opt("logs") or mt.ROOT / "build/e2e-logs").resolve()
    shutil.rmtree(logs, ignore_errors=True)
    with mt.Desktop(prefix) as d:
        win = Win(d, logs)
        # Wine's prefix knows the text file class but does not name it for .txt.
        # The recorder opens the address's scheme; its icon 1 is the scheme's
        # and the user's older choice, its icon 0 the newest choice.
        recorder, choices = RECORDER.replace("\\", "\\\\"), r"[HKEY_CURRENT_USER\Software\Microsoft\Windows\Shell" \
            r"\Associations\UrlAssociations\mivo-e2e"
        (prefix / "drive_c/mivo-e2e/classes.reg").write_text("\r\n".join([
            "REGEDIT4", r"[HKEY_CLASSES_ROOT\.txt]", '@="txtfile"', r"[HKEY_CLASSES_ROOT\mivo-e2e]", '"URL Protocol"=""',
            r"[HKEY_CLASSES_ROOT\mivo-e2e\DefaultIcon]", f'@="{recorder},1"', r"[HKEY_CLASSES_ROOT\MivoE2E.Old\DefaultIcon]",
            f'@="{recorder},1"', r"[HKEY_CLASSES_ROOT\MivoE2E.New\DefaultIcon]", f'@="{recorder},0"',
            r"[HKEY_CLASSES_ROOT\mivo-e2e\shell\open\command]", f'@="\\"{recorder}\\" \\"%1\\""',
            choices + r"\UserChoice]", '"ProgId"="MivoE2E.Old"', choices + r"\UserChoiceLatest]", '"ProgId"="MivoE2E.New"', ""]))
        assert win.wine(["regedit", "/S", BASE + "classes.reg"]).wait(60) == 0
        # A shortcut as the Start menu's are, made by the system's own script host
        # (whose exit code is 0 whatever happens: the shortcut's row tells).
        script = (f'var link = new ActiveXObject("WScript.Shell").CreateShortcut("{LINK}");'
                  f'link.TargetPath = "{RECORDER}"; link.IconLocation = "{RECORDER},0";'
                  'link.WorkingDirectory = "C:\\windows"; link.Save();')
        (prefix / "drive_c/mivo-e2e/link.js").write_text(script.replace("\\", "\\\\"))
        win.wine(["cscript", BASE + "link.js"]).wait(60)
        yield win


@pytest.fixture
def win(desktop, request):
    desktop.logs = desktop.root / re.sub(r"\W+", "-", request.node.name)
    desktop.end_mivos()
    assert desktop.probe("dacl", EVERYONE)[0] == 0
    for key in (RUN_KEY, USER_RUN_KEY, USER_LIST):  # the key may be missing
        desktop.wine(["reg", "delete", key, "/va", "/f"]).wait(60)
    for log in ("launch.log", "planted.log"): (desktop.drive / "mivo-e2e" / log).unlink(missing_ok=True)
    desktop.d.park()
    yield desktop
    desktop.end_mivos()

