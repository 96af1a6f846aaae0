"""The end-to-end harness: an X display of its own (Xvfb) with a system tray
(trayer), a Wine prefix of its own, and the tools that drive and read them.

Everything that runs under Wine writes its output to files: a Wine process
hands its standard handles on to every process it starts (the wineserver and
the system services among them), so a pipe given to one would never close.
Every wait has a deadline and ends in a Failure that says what was awaited.
"""

import json
import os
import re
import shutil
import signal
import struct
import subprocess
import time
import zlib
from pathlib import Path

WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}
SCREEN = (800, 600)
TRAYER_ARGS = ["--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32",
               "--SetDockType", "true", "--transparent", "false", "--tint", "0x808080"]
# The folder on drive C: that holds the test programs and the launch log.
C_DIR = "C:\\mivo-e2e"
RUN_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
# The prefix's own processes, which live as long as its wineserver.
SYSTEM_PROGRAMS = ("services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe",
                   "explorer.exe", "wineserver", "wineserver32", "wineserver64")
REQUIRED_TOOLS = ("Xvfb", "xdpyinfo", "trayer", "xdotool", "xwininfo", "xprop", "import", "wine",
                  "wineserver", "wineboot")


class Failure(Exception):
    """A check or a wait that did not hold; the message says which."""


def wait_for(what, timeout, poll, interval=0.1):
    """Calls poll until it gives something true, at most timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        value = poll()
        if value:
            return value
        if time.monotonic() >= end:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def check(condition, message):
    if not condition:
        raise Failure(message)


def decode_escapes(text):
    """Undoes the probe's \\xNN escapes: the exact bytes, as latin-1 text."""
    return re.sub(r"\\x([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1), 16)), text)


def show(text):
    """A text with its control characters visible, for messages."""
    return repr(text)


# --- Paths -------------------------------------------------------------------


class Paths:
    def __init__(self, work):
        self.work = Path(work).resolve()
        self.prefix = self.work / "wineprefix"
        self.session_file = self.work / "session.json"
        self.logs = self.work / "logs"
        self.screens = self.work / "screens"
        self.drive_c = self.prefix / "drive_c"
        self.c_dir = self.drive_c / "mivo-e2e"
        self.launch_log = self.c_dir / "launch.txt"


# --- Processes ---------------------------------------------------------------


def pid_alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
        return state != "Z"
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return False


def pid_cmdline(pid):
    try:
        return Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(
            "latin-1").strip()
    except OSError:
        return ""


def stop_pid(pid, expected_name, timeout=5.0):
    """Ends one process that this harness started, after checking that the
    pid still names it (a recorded pid may have been reused)."""
    if not pid or not pid_alive(pid) or expected_name not in pid_cmdline(pid):
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                done, _ = os.waitpid(pid, os.WNOHANG)
                if done:
                    return
            except ChildProcessError:
                if not pid_alive(pid):
                    return
            time.sleep(0.05)


class Proc:
    """A process started by the harness, its output in two files."""

    def __init__(self, args, env, log_base, cwd=None):
        self.args = args
        self.out_path = Path(str(log_base) + ".out")
        self.err_path = Path(str(log_base) + ".err")
        self.out_path.parent.mkdir(parents=True, exist_ok=True)
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.popen = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                          stdout=out, stderr=err, start_new_session=True)
        self.pid = self.popen.pid
        self.started = time.monotonic()

    def poll(self):
        return self.popen.poll()

    def wait(self, timeout, what=None):
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"timed out after {timeout:g} s waiting for {what or self.args[:3]} "
                          f"to end") from None

    def output(self):
        return self.out_path.read_bytes().decode("latin-1")

    def stop(self):
        if self.popen.poll() is None:
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    self.popen.send_signal(sig)
                    self.popen.wait(timeout=5)
                    break
                except (subprocess.TimeoutExpired, ProcessLookupError):
                    continue


# --- Images ------------------------------------------------------------------


class Image:
    """RGB pixels, 3 bytes each, rows top to bottom."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, bytes(data)

    @staticmethod
    def from_ppm(raw):
        match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", raw)
        if not match:
            raise Failure("screenshot: not a binary PPM")
        width, height, maxval = (int(g) for g in match.groups())
        pixels = raw[match.end():]
        if maxval > 255:  # two bytes a sample, big-endian: keep the high byte
            pixels = pixels[0::2]
        return Image(width, height, pixels[: width * height * 3])

    def crop(self, x, y, width, height):
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.width, x + width), min(self.height, y + height)
        rows = [self.data[(r * self.width + x0) * 3:(r * self.width + x1) * 3]
                for r in range(y0, y1)]
        return Image(x1 - x0, y1 - y0, b"".join(rows))

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def colours(self):
        return {self.data[i:i + 3] for i in range(0, len(self.data), 3)}

    def differing_pixels(self, other):
        check((self.width, self.height) == (other.width, other.height),
              f"images of different sizes: {self.width}x{self.height} and "
              f"{other.width}x{other.height}")
        return sum(1 for i in range(0, len(self.data), 3)
                   if self.data[i:i + 3] != other.data[i:i + 3])

    def save_png(self, path):
        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        stride = self.width * 3
        raw = b"".join(b"\0" + self.data[r * stride:(r + 1) * stride] for r in range(self.height))
        png = (b"\x89PNG\r\n\x1a\n"
               + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
               + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))
        Path(path).write_bytes(png)


# --- The session: display, tray and prefix -----------------------------------


def display_free(number):
    return not (Path(f"/tmp/.X11-unix/X{number}").exists()
                or Path(f"/tmp/.X{number}-lock").exists())


class Session:
    """Xvfb, trayer and the Wine prefix, shared by all scenarios of a run and
    recorded in session.json so that each scenario (one process each under
    CTest) finds them."""

    def __init__(self, paths, display, xvfb_pid, trayer_pid):
        self.paths = paths
        self.display = display
        self.xvfb_pid = xvfb_pid
        self.trayer_pid = trayer_pid

    # Environment of every program the harness starts: our display and
    # prefix only, never the user's.
    def env(self):
        env = dict(os.environ)
        env.update(WINE_ENV)
        env["DISPLAY"] = f":{self.display}"
        env["WINEPREFIX"] = str(self.paths.prefix)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def x(self, *args, timeout=10):
        """Runs an X tool (not a Wine program, so a pipe is safe)."""
        try:
            result = subprocess.run(args, env=self.env(), stdin=subprocess.DEVNULL,
                                    capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{args[0]} did not end within {timeout} s") from None
        return result

    # -- set-up and tear-down --

    @staticmethod
    def setup(paths, log):
        missing = [tool for tool in REQUIRED_TOOLS if not shutil.which(tool)]
        check(not missing, "missing tools: " + ", ".join(missing))
        paths.work.mkdir(parents=True, exist_ok=True)
        paths.logs.mkdir(parents=True, exist_ok=True)
        if paths.session_file.exists():
            log("an earlier session was not cleaned up; ending it first")
            Session.load(paths, check_alive=False).cleanup(log)

        session = Session(paths, None, None, None)
        try:
            session._start_xvfb(log)
            session._start_trayer(log)
            session.save()
            session._prepare_prefix(log)
        except BaseException:
            session.cleanup(log)
            raise
        return session

    def _start_xvfb(self, log):
        for number in range(90, 200):
            if not display_free(number):
                continue
            proc = Proc(["Xvfb", f":{number}", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                         "-nolisten", "tcp", "-noreset"], dict(os.environ),
                        self.paths.logs / "xvfb")
            self.display, self.xvfb_pid = number, proc.pid

            def ready():
                if proc.poll() is not None:
                    return "died"
                return self.x("xdpyinfo", timeout=5).returncode == 0

            state = wait_for(f"Xvfb on display :{number}", 15, ready, 0.1)
            if state == "died":  # taken by someone between the check and the start
                self.display = self.xvfb_pid = None
                continue
            log(f"Xvfb on display :{number}, pid {proc.pid}")
            return
        raise Failure("no free X display number between 90 and 199")

    def _start_trayer(self, log):
        env = self.env()
        del env["WINEPREFIX"]  # so that no sweep of the prefix's processes takes it
        proc = Proc(["trayer"] + TRAYER_ARGS, env, self.paths.logs / "trayer")
        self.trayer_pid = proc.pid
        wait_for("trayer's panel window", 15, self.panel_window)
        log(f"trayer docked as system tray, pid {proc.pid}")

    def _prepare_prefix(self, log):
        # Whatever an earlier run left in this prefix goes first.
        self.wineserver("-k", timeout=30, check_result=False)
        if not (self.paths.prefix / "system.reg").exists():
            log(f"creating the Wine prefix {self.paths.prefix} (once per build folder)")
            start = time.monotonic()
            proc = Proc(["wineboot", "-i"], self.env(), self.paths.logs / "wineboot")
            proc.wait(180, "wineboot -i")
            # The registry reaches the disk when the server ends.
            self.wineserver("-w", timeout=120)
            check((self.paths.prefix / "system.reg").exists(),
                  f"wineboot left no registry in {self.paths.prefix}")
            log(f"prefix created in {time.monotonic() - start:.1f} s")
        # One server for the whole run, so that each program does not wait
        # for a new server and its services; ended by cleanup.
        proc = Proc(["wineserver", "-p"], self.env(), self.paths.logs / "wineserver")
        proc.wait(30, "wineserver -p")
        # Windows opens text files with Notepad; Wine 8's prefix has the
        # file class for it but no ".txt" that names the class.
        proc = Proc(["wine", "reg", "add", "HKCR\\.txt", "/ve", "/d", "txtfile", "/f"], self.env(),
                    self.paths.logs / "reg-txt")
        check(proc.wait(60, "reg add HKCR\\.txt") == 0, "could not register .txt for Notepad")
        self.paths.c_dir.mkdir(parents=True, exist_ok=True)
        log("wineserver running for the prefix")

    def wineserver(self, *args, timeout, check_result=True):
        proc = Proc(["wineserver", *args], self.env(), self.paths.logs / "wineserver-ctl")
        code = proc.wait(timeout, "wineserver " + " ".join(args))
        if check_result:
            check(code == 0, f"wineserver {' '.join(args)} failed with {code}")

    def save(self):
        self.paths.session_file.write_text(json.dumps(
            {"display": self.display, "xvfb_pid": self.xvfb_pid, "trayer_pid": self.trayer_pid}))

    @staticmethod
    def load(paths, check_alive=True):
        if not paths.session_file.exists():
            raise Failure(f"no session in {paths.work}: run the 'setup' step first "
                          "(CTest does so through the e2e fixture)")
        data = json.loads(paths.session_file.read_text())
        session = Session(paths, data["display"], data["xvfb_pid"], data["trayer_pid"])
        if check_alive:
            check(pid_alive(session.xvfb_pid) and "Xvfb" in pid_cmdline(session.xvfb_pid),
                  f"Xvfb of the session (pid {session.xvfb_pid}) is gone")
            check(pid_alive(session.trayer_pid) and "trayer" in pid_cmdline(session.trayer_pid),
                  f"trayer of the session (pid {session.trayer_pid}) is gone")
        return session

    def cleanup(self, log):
        if self.display is not None and self.paths.prefix.exists():
            try:
                self.wineserver("-k", timeout=30, check_result=False)
            except Failure as failure:
                log(f"warning: {failure}")
        stop_pid(self.trayer_pid, "trayer")
        stop_pid(self.xvfb_pid, "Xvfb")
        if self.paths.session_file.exists():
            self.paths.session_file.unlink()
        log("session ended")

    # -- the prefix's processes --

    def prefix_processes(self):
        """(pid, command line) of every process that runs in our prefix."""
        marker = b"WINEPREFIX=" + str(self.paths.prefix).encode() + b"\0"
        found = []
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                environ = (entry / "environ").read_bytes()
            except OSError:
                continue
            if marker in environ and pid_alive(int(entry.name)):
                found.append((int(entry.name), pid_cmdline(int(entry.name))))
        return found

    def stray_processes(self):
        """The prefix's processes that are not its own services."""
        stray = []
        for pid, cmdline in self.prefix_processes():
            program = re.split(r"[\\/]", cmdline.split(" ")[0])[-1].lower() if cmdline else ""
            if (program not in SYSTEM_PROGRAMS and "wineserver" not in cmdline
                    and pid not in (self.xvfb_pid, self.trayer_pid)):
                stray.append((pid, cmdline))
        return stray

    # -- X: the tray and top-level windows --

    def panel_window(self):
        # The tree walk fails when a window goes while it runs: try again.
        for _ in range(5):
            result = self.x("xwininfo", "-root", "-tree")
            match = re.search(r"^\s*(0x[0-9a-f]+) \"panel\": \(\"panel\" \"trayer\"\)",
                              result.stdout.decode("latin-1"), re.M)
            if match:
                return match.group(1)
            if result.returncode == 0:
                return None
            time.sleep(0.05)
        return None

    def tray_icons(self):
        """The docked icons: trayer's sockets inside its panel, left to right,
        each as (window id, x, y, width, height) in root coordinates."""
        if not getattr(self, "panel", None):
            self.panel = self.panel_window()
            check(self.panel, "trayer's panel window is gone")
        for _ in range(5):
            result = self.x("xwininfo", "-children", "-id", self.panel)
            if result.returncode == 0:
                break
            time.sleep(0.05)  # a socket went while xwininfo looked at it
        else:
            raise Failure("xwininfo cannot list trayer's panel: "
                          + result.stderr.decode(errors="replace").strip())
        out = result.stdout.decode("latin-1")
        icons = []
        geometry = r"^\s*(0x[0-9a-f]+) .*?(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)"
        for match in re.finditer(geometry, out, re.M):
            wid, width, height, x, y = match.groups()
            if int(width) > 1 and int(height) > 1:
                icons.append((wid, int(x), int(y), int(width), int(height)))
        return sorted(icons, key=lambda icon: icon[1])

    def top_level_windows(self):
        """Every child of the root window, mapped or not: id -> xwininfo's
        line (name, class, geometry)."""
        result = self.x("xwininfo", "-root", "-children")
        check(result.returncode == 0, "xwininfo cannot list the root window's children")
        return {m.group(1): m.group(2).strip() for m in re.finditer(
            r"^\s+(0x[0-9a-f]+) (.*)$", result.stdout.decode("latin-1"), re.M)}

    def window_pid(self, wid):
        """The process that set _NET_WM_PID on an X window, or None."""
        out = self.x("xprop", "-id", wid, "_NET_WM_PID").stdout.decode("latin-1")
        match = re.search(r"= (\d+)", out)
        return int(match.group(1)) if match else None

    def visible_top_level(self):
        out = self.x("xdotool", "search", "--onlyvisible", "--maxdepth", "1", "--name", "")
        return {int(line) for line in out.stdout.decode().split()}

    def window_info(self, wid):
        out = self.x("xwininfo", "-id", str(wid)).stdout.decode("latin-1")
        values = dict(re.findall(r"^\s*([A-Za-z -]+):\s+(.*)$", out, re.M))
        try:
            return {"x": int(values["Absolute upper-left X"]),
                    "y": int(values["Absolute upper-left Y"]),
                    "width": int(values["Width"]), "height": int(values["Height"]),
                    "viewable": values.get("Map State") == "IsViewable",
                    "override_redirect": values.get("Override Redirect State") == "yes"}
        except KeyError:
            return None  # gone meanwhile

    def screenshot(self):
        result = self.x("import", "-silent", "-window", "root", "-depth", "8", "ppm:-",
                        timeout=20)
        check(result.returncode == 0, "import failed: " + result.stderr.decode(errors="replace"))
        return Image.from_ppm(result.stdout)

    def mouse(self, *actions):
        result = self.x("xdotool", *actions)
        check(result.returncode == 0, "xdotool failed: " + result.stderr.decode(errors="replace"))

    def repaint_tray(self):
        """Covers the tray's strip with a window of ImageMagick's `display`
        and takes it away, so that everything under it is drawn anew."""
        before = self.visible_top_level()
        proc = Proc(["display", "-geometry", f"+0+{SCREEN[1] - 48}", "-size", f"{SCREEN[0]}x48",
                     "xc:magenta"], self.env(), self.paths.logs / "cover")
        try:
            cover = wait_for("the cover window over the tray", 10,
                             lambda: self.visible_top_level() - before)
        finally:
            proc.stop()
        wait_for("the cover window to go", 10, lambda: not cover & self.visible_top_level())

    def park_pointer(self):
        """Moves the pointer to an empty corner, away from icons and menus."""
        self.mouse("mousemove", "5", "5")


# --- One scenario's stage ----------------------------------------------------


class Icon:
    """A docked icon, known by trayer's socket window; its place is looked
    up again at each use, since the icons move when others come or go."""

    def __init__(self, stage, wid, label):
        self.stage, self.wid, self.label = stage, wid, label

    def rect(self):
        for wid, x, y, width, height in self.stage.session.tray_icons():
            if wid == self.wid:
                return x, y, width, height
        raise Failure(f"the icon of {self.label} is no longer docked")

    def docked(self):
        return any(icon[0] == self.wid for icon in self.stage.session.tray_icons())

    def centre(self):
        x, y, width, height = self.rect()
        return x + width // 2, y + height // 2


class Menu:
    """The pop-up menu's X window and its items, found from its pixels: four
    bands of dark text (About, Quick help, Permanent, Close), the separator
    being a light line between the second and the third."""

    ITEMS = ("About", "Quick help", "Permanent", "Close")

    def __init__(self, stage, wid, info):
        self.stage, self.wid = stage, wid
        self.x, self.y = info["x"], info["y"]
        self.width, self.height = info["width"], info["height"]
        previous = [None]

        def drawn():
            # Two screenshots in a row that agree: the menu is fully drawn.
            image = stage.session.screenshot().crop(self.x, self.y, self.width, self.height)
            same = previous[0] is not None and image.data == previous[0].data
            previous[0] = image
            return image if same else None

        self.image = wait_for("the menu to be drawn", 5, drawn, 0.15)
        self.bands = self._text_bands()
        check(len(self.bands) == 4,
              f"the menu shows {len(self.bands)} rows of text, expected 4 "
              f"(About, Quick help, Permanent, Close); rows at {self.bands}")
        self.separator = self._separator_row()

    @staticmethod
    def _dark(pixel):
        return max(pixel) < 100

    def _text_bands(self):
        rows = [any(self._dark(self.image.pixel(x, y)) for x in range(2, self.width - 2))
                for y in range(2, self.height - 2)]
        bands, start = [], None
        for offset, dark in enumerate(rows + [False]):
            if dark and start is None:
                start = offset
            elif not dark and start is not None:
                bands.append((start + 2, offset + 2))
                start = None
        # Rows of one item may be split by a blank row (an underline below
        # the text): join bands closer than 3 rows.
        joined = []
        for band in bands:
            if joined and band[0] - joined[-1][1] < 3:
                joined[-1] = (joined[-1][0], band[1])
            else:
                joined.append(band)
        return joined

    def _separator_row(self):
        """The row, between Quick help and Permanent, that is a line of one
        non-background colour across most of the menu."""
        background = self.image.pixel(self.width // 2, (self.bands[1][1] + self.bands[2][0]) // 2)
        for y in range(self.bands[1][1], self.bands[2][0]):
            row = [self.image.pixel(x, y) for x in range(4, self.width - 4)]
            if sum(1 for p in row if p != background) > len(row) * 0.8:
                return y
        raise Failure("no separator line between Quick help and Permanent in the menu")

    def text_left(self):
        """Where item text begins: the leftmost dark column of the items that
        never carry a check mark."""
        lefts = []
        for index in (0, 1, 3):
            top, bottom = self.bands[index]
            lefts += [x for x in range(2, self.width - 2) for y in range(top, bottom)
                      if self._dark(self.image.pixel(x, y))][:1]
        return min(lefts)

    def permanent_checked(self):
        """A check mark is dark pixels left of the text in Permanent's row."""
        top, bottom = self.bands[2]
        limit = self.text_left() - 1
        return any(self._dark(self.image.pixel(x, y))
                   for x in range(2, limit) for y in range(top - 2, bottom + 2))

    def item_point(self, item):
        top, bottom = self.bands[self.ITEMS.index(item)]
        return self.x + self.width // 2, self.y + (top + bottom) // 2

    def is_open(self):
        return self.wid in self.stage.session.visible_top_level()

    def choose(self, item):
        """Clicks the item, as a user would."""
        x, y = self.item_point(item)
        self.stage.session.mouse("mousemove", str(x), str(y))
        time.sleep(0.15)
        self.stage.session.mouse("click", "1")
        wait_for(f"the menu to close after choosing {item}", 5, lambda: not self.is_open())

    def key(self, *keys):
        """Types keys into the menu; the pointer stays where the menu opened
        (over the menu when it was flipped into the screen's corner), so no
        item is picked by the mouse."""
        self.stage.session.mouse("key", "--delay", "80", *keys)

    def save(self, name):
        self.image.save_png(self.stage.screen_path(name))


class Stage:
    """What one scenario runs on: the session, its screenshots folder, the
    processes it starts (ended at the end, also when a check fails), and
    the Run values it may leave."""

    def __init__(self, paths, name, mivo_exe, probe_exe, recorder_exe, log):
        self.paths = paths
        self.name = name
        self.log = log
        self.session = Session.load(paths)
        self.screens = paths.screens / name
        if self.screens.exists():
            shutil.rmtree(self.screens)
        self.screens.mkdir(parents=True)
        self.number = 0  # orders screenshots and program output alike
        self.procs = []
        self.mivo_exe, self.probe_exe, self.recorder_exe = mivo_exe, probe_exe, recorder_exe

    # -- set-up and tear-down --

    def __enter__(self):
        check(not self.session.tray_icons(),
              f"the tray is not empty at the start: {self.session.tray_icons()}")
        self.paths.c_dir.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.mivo_exe, self.paths.c_dir / "Mivo.exe")
        shutil.copyfile(self.probe_exe, self.paths.c_dir / "probe.exe")
        shutil.copyfile(self.recorder_exe, self.paths.c_dir / "mivo_recorder.exe")
        self.clear_launch_log()
        self.delete_run_values()
        self.session.park_pointer()
        return self

    def __exit__(self, kind, value, traceback):
        if kind is not None:
            try:
                self.screenshot("failure")
            except Exception as error:  # the failure itself is what counts
                self.log(f"no failure screenshot: {error}")
        problems = []
        for proc in self.procs:
            if proc.poll() is None:
                proc.stop()
        try:  # a program asked to close may take a moment to end
            wait_for("stray processes to end", 3, lambda: not self.session.stray_processes())
        except Failure:
            pass
        for pid, cmdline in self.session.stray_processes():
            self.log(f"ending left-over process {pid}: {cmdline}")
            stop_pid(pid, cmdline.split(" ")[0] if cmdline else "")
        try:
            self.delete_run_values()
        except Failure as failure:
            problems.append(str(failure))
        try:
            wait_for("the tray to be empty after the scenario", 10,
                     lambda: not self.session.tray_icons())
        except Failure as failure:
            problems.append(str(failure))
        self.session.park_pointer()
        if problems and kind is None:
            raise Failure("; ".join(problems))
        return False

    # -- files and screenshots --

    def file_base(self, label):
        self.number += 1
        return self.screens / f"{self.number:02d}-{re.sub(r'[^A-Za-z0-9_.-]+', '-', label)}"

    def screen_path(self, label):
        return Path(str(self.file_base(label)) + ".png")

    def screenshot(self, label):
        image = self.session.screenshot()
        image.save_png(self.screen_path(label))
        return image

    def clear_launch_log(self):
        if self.paths.launch_log.exists():
            self.paths.launch_log.unlink()

    def launches(self):
        """Each launch of the recorder: (working directory, command line)."""
        if not self.paths.launch_log.exists():
            return []
        lines = self.paths.launch_log.read_bytes().decode("latin-1").split("\r\n")
        result = []
        for line in filter(None, lines):
            match = re.fullmatch(r"cwd=(.*)\tcmdline=(.*)", line)
            check(match, f"unreadable line in the launch log: {show(line)}")
            result.append((decode_escapes(match.group(1)), decode_escapes(match.group(2))))
        return result

    # -- Wine programs --

    def wine(self, args, label, keep=True, debug=None):
        """Starts a Wine program. Its output is kept under a numbered name,
        or (keep=False, for the many short queries) in tools/LABEL, the last
        one of each kind. `debug` replaces WINEDEBUG: Wine's traces then go
        to the program's .err file."""
        base = self.file_base(label) if keep else self.screens / "tools" / label
        env = self.session.env()
        if debug:
            env["WINEDEBUG"] = debug
        proc = Proc(["wine", *args], env, base)
        self.procs.append(proc)
        return proc

    def probe(self, *args, timeout=30):
        """Runs a probe sub-command and gives its exit code and its answer,
        the lines "key=value" as a list of pairs, texts decoded."""
        proc = self.wine([C_DIR + "\\probe.exe", *args], "probe-" + args[0], keep=False)
        code = proc.wait(timeout, "probe " + args[0])
        pairs = []
        for line in proc.output().splitlines():
            key, _, value = line.partition("=")
            pairs.append((key, value))
        return code, pairs

    def start_mivo(self, tail, label, exe=None, debug=None):
        """Starts Mivo with a command tail. The tail goes through Wine's own
        command-line building, so it must hold no blank, tab or quote."""
        check(not re.search(r"[ \t\"]", tail), f"tail {show(tail)} would be re-quoted by Wine")
        exe = exe or C_DIR + "\\Mivo.exe"
        return self.wine([exe] + ([tail] if tail else []), label, debug=debug)

    def main_windows(self):
        """The hidden windows: (handle, visible, Windows pid) each."""
        code, pairs = self.probe("find-main")
        check(code == 0, f"probe find-main failed with {code}")
        windows = []
        for key, value in pairs:
            if key == "window":
                fields = dict(field.split("=") for field in ("handle=" + value).split())
                windows.append((fields["handle"], fields["visible"] == "1", fields["pid"]))
        return windows

    # -- the tray --

    def wait_new_icon(self, before, label, timeout=20):
        """Waits for one icon not among `before` (window ids) and for its
        picture to be drawn and steady."""
        def new():
            fresh = [icon[0] for icon in self.session.tray_icons() if icon[0] not in before]
            check(len(fresh) <= 1, f"more than one new icon appeared: {fresh}")
            return fresh[0] if fresh else None

        wid = wait_for(f"the icon of {label} to dock in the tray", timeout, new)
        icon = Icon(self, wid, label)
        self.icon_pixels(icon)  # drawn and steady
        return icon

    def icon_pixels(self, icon, timeout=10):
        """The icon's pixels once two screenshots in a row agree and show
        more than one colour. The tray is repainted first: an icon that
        docks while the panel grows may keep traces of its first drawing
        until it is exposed again."""
        self.session.repaint_tray()
        previous = [None]

        def steady():
            x, y, width, height = icon.rect()
            image = self.session.screenshot().crop(x, y, width, height)
            same = previous[0] is not None and image.data == previous[0].data
            previous[0] = image
            return image if same and len(image.colours()) > 1 else None

        return wait_for(f"the icon of {icon.label} to be drawn", timeout, steady, 0.2)

    def tooltips(self):
        """The titles of the visible tooltip windows. The tray's tooltip
        carries the tip of the icon under the pointer as its title."""
        code, pairs = self.probe("windows", "tooltips_class32")
        check(code == 0, f"probe windows failed with {code}")
        return [decode_escapes(value.split(" title=", 1)[1])
                for key, value in pairs if key == "window"]

    def tip(self, icon, timeout=10):
        """The tip the tray shows while the pointer rests on the icon."""
        self.session.park_pointer()
        wait_for("the tooltips to hide", 5, lambda: not self.tooltips(), 0.2)
        x, y = icon.centre()
        self.session.mouse("mousemove", str(x - 1), str(y))
        time.sleep(0.1)
        self.session.mouse("mousemove", str(x), str(y))
        try:
            tips = wait_for(f"the tip of {icon.label}", timeout, self.tooltips, 0.2)
            time.sleep(0.3)  # for the screenshot: the tooltip is drawn after it shows
            self.screenshot("tip")
        finally:
            self.session.park_pointer()
        check(len(tips) == 1, f"{len(tips)} tooltips shown at once: {tips}")
        return tips[0]

    def wait_icon_gone(self, icon, timeout=10):
        wait_for(f"the icon of {icon.label} to leave the tray", timeout, lambda: not icon.docked())

    def press(self, icon, button, count=1):
        x, y = icon.centre()
        self.session.mouse("mousemove", str(x), str(y))
        time.sleep(0.1)
        self.session.mouse("click", "--repeat", str(count), "--delay", "80", str(button))

    def open_menu(self, icon):
        """Presses the right button on the icon and waits for the menu: a
        top-level window that becomes viewable, override-redirect, larger
        than a point."""
        before = self.session.visible_top_level()
        self.press(icon, 3)

        def menu():
            candidates = []
            for wid in self.session.visible_top_level() - before:
                info = self.session.window_info(wid)
                if info and info["viewable"] and info["override_redirect"]:
                    candidates.append((wid, info))
            if not candidates:
                return None
            # A tooltip is such a window too: the menu is the one where
            # Windows has its menu window (class "#32768").
            _, pairs = self.probe("find-menu", "0")
            rects = {value.split("rect=")[1] for key, value in pairs if key == "menu"}
            for wid, info in candidates:
                x, y = info["x"], info["y"]
                if f"{x},{y},{x + info['width']},{y + info['height']}" in rects:
                    return wid, info
            return None

        wid, info = wait_for(f"the menu of {icon.label} to open", 10, menu)
        return Menu(self, wid, info)

    # -- message boxes --

    def read_box(self, caption, timeout=10):
        """The one box with that caption: its caption and texts, exact."""
        code, pairs = self.probe("read-box", caption, str(int(timeout * 1000)),
                                 timeout=timeout + 20)
        if code != 0:
            _, others = self.probe("read-box", "*", "0")
            shown = [decode_escapes(value) for key, value in others if key == "caption"]
            raise Failure(f"no box with the caption {show(caption)} appeared within {timeout} s"
                          + (f"; a box {show(shown[0])} is open" if shown else ""))
        box = {"statics": []}
        for key, value in pairs:
            if key == "static":
                box["statics"].append(decode_escapes(value))
            elif key == "caption":
                box["caption"] = decode_escapes(value)
            elif key == "ok_rect":
                box["ok_rect"] = [int(v) for v in value.split(",")]
            elif key == "count":
                box["count"] = int(value)
        return box

    def box_open(self, caption):
        code, pairs = self.probe("read-box", caption, "0")
        return dict(pairs).get("count", "0") != "0"

    def press_ok(self, box, caption):
        """Clicks the box's OK button and waits for the box to go."""
        left, top, right, bottom = box["ok_rect"]
        self.session.mouse("mousemove", str((left + right) // 2), str((top + bottom) // 2))
        time.sleep(0.1)
        self.session.mouse("click", "1")
        wait_for(f"the box {show(caption)} to close", 10, lambda: not self.box_open(caption))
        self.session.park_pointer()

    # -- the registry --

    def run_values(self):
        """The values under the Run key: name -> (type, data)."""
        proc = self.wine(["reg", "query", RUN_KEY], "reg-query", keep=False)
        code = proc.wait(30, "reg query")
        text = proc.output()
        if code != 0:
            check("unable to find" in text.lower() or not text.strip(),
                  f"reg query failed with {code}: {text}")
            return {}
        values = {}
        for line in text.splitlines():
            match = re.fullmatch(r"    (.*?)    (REG_[A-Z_]+)    ?(.*)", line.rstrip("\r"))
            if match:
                values[match.group(1)] = (match.group(2), match.group(3))
        return values

    def delete_run_values(self):
        for name in self.run_values():
            if name.startswith("Mivo "):
                proc = self.wine(["reg", "delete", RUN_KEY, "/v", name, "/f"], "reg-delete",
                                 keep=False)
                code = proc.wait(30, "reg delete")
                check(code == 0, f"reg delete of {show(name)} failed with {code}")
