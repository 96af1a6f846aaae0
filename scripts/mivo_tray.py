# A desktop for Mivo on Linux: an X display of its own (Xvfb) with a system
# tray (trayer), a Wine prefix, and the means to see and press what is on it.
# Wine programs write to files, never to pipes: a Wine process hands its
# standard handles on to every process it starts, so a pipe would not close.
import ctypes
import os
import signal
import subprocess
import time
from pathlib import Path

from PIL import Image
from Xlib import X, display as xdisplay, error as xerror

ROOT = Path(__file__).resolve().parent.parent
# Wine keeps file names that are not ASCII on disk in the charset of LC_ALL:
# under the C locale it finds no file of such a name.
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=", "LC_ALL": "C.UTF-8"}
# A tray that never moves: it grows to the right from the screen's left
# edge. Wine (8) follows the tray's place through its ConfigureNotify
# events; when the tray moves as an icon docks, Wine at times reads the
# place before the move last and keeps it until the tray moves again. It
# then takes the icon to be one icon's width from where it shows, and no
# hover (tooltip) or press reaches it.
TRAYER_ARGS = ["--edge", "bottom", "--align", "left", "--widthtype", "request", "--height", "32",
               "--SetDockType", "true", "--transparent", "false", "--tint", "0x808080"]


def prefix_path():
    return Path(os.environ.get("MIVO_WINEPREFIX") or ROOT / "build" / "wineprefix")


# Under qemu's emulation (a kernel without 32-bit support, see lib.sh) Wine
# is several times slower: every wait is as much longer.
SLOWER = 3 if Path("/proc/sys/fs/binfmt_misc/qemu-i386").exists() else 1


def wait_for(what, timeout, poll, interval=0.1):
    end = time.monotonic() + timeout * SLOWER
    while not (value := poll()):
        if time.monotonic() >= end:
            raise TimeoutError(f"timed out after {timeout * SLOWER:g} s waiting for {what}")
        time.sleep(interval)
    return value


def _quiet(args, env, timeout):
    subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout, check=False)


def _end_with_parent():  # so that no display or tray outlives a killed run
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def ensure_prefix(prefix):  # a 32-bit one, made as lib.sh makes it
    subprocess.run(["bash", "-c", 'source "$0" && mivo_wine_prefix "$1" win32', ROOT / "scripts" / "lib.sh",
                    str(prefix)], stdin=subprocess.DEVNULL, timeout=600, check=True)


class Desktop:
    def __init__(self, prefix, size=(800, 600)):
        self.prefix, self.size = Path(prefix), size
        self.procs, self.x, self.env = [], None, None

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.__exit__()
            raise
        return self

    def _start(self):
        free = [n for n in range(90, 300) if not Path(f"/tmp/.X11-unix/X{n}").exists()
                and not Path(f"/tmp/.X{n}-lock").exists()]
        for n in free[:20]:  # another may take a number between our look and our start
            xvfb = self._spawn(["Xvfb", f":{n}", "-screen", "0", "%dx%dx24" % self.size,
                                "-nolisten", "tcp", "-noreset"], os.environ)
            if wait_for(f"Xvfb on :{n}", 15, lambda: xvfb.poll() is not None or self._connect(n)) \
                    is not True:
                break
        if not self.x:
            raise RuntimeError("no free X display number")
        self.display = f":{n}"
        self.env = {**os.environ, **WINE_ENV, "DISPLAY": self.display,
                    "WINEPREFIX": str(self.prefix)}
        self._spawn(["trayer", *TRAYER_ARGS], {**os.environ, "DISPLAY": self.display})
        self.panel = wait_for("trayer's panel window", 15, self._find_panel)
        _quiet(["wineserver", "-k"], self.env, 30)  # whatever an earlier run left
        _quiet(["wineserver", "-p"], self.env, 30)  # one server for all, ended on exit

    def _spawn(self, args, env):
        self.procs.append(subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                           start_new_session=True, preexec_fn=_end_with_parent))
        return self.procs[-1]

    def _connect(self, n):
        try:
            self.x = xdisplay.Display(f":{n}")
        except Exception:
            return None
        return self.x

    def __exit__(self, *exc):
        if self.env:
            _quiet(["wineserver", "-k"], self.env, 30)
        if self.x:
            self.x.close()
        for proc in reversed(self.procs):
            proc.terminate()
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
        return False

    def _find_panel(self):
        for child in self.x.screen().root.query_tree().children:
            try:
                if child.get_wm_class() == ("panel", "trayer"):
                    return child
            except xerror.XError:
                pass
        return None

    def wine(self, args, log_base, extra_env=None):
        base = Path(log_base)
        base.parent.mkdir(parents=True, exist_ok=True)
        with open(f"{base}.out", "wb") as out, open(f"{base}.err", "wb") as err:
            proc = subprocess.Popen(["wine", *map(str, args)], stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, start_new_session=True,
                                    env={**self.env, **(extra_env or {})})
        proc.out_path, proc.err_path = Path(f"{base}.out"), Path(f"{base}.err")
        return proc

    def kill(self, name):
        # Ends this prefix's Windows processes of the program name (a Windows
        # path in their command line ends in it), from Linux: under qemu's
        # emulation Wine lists no processes, so taskkill finds none.
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                args = Path(f"/proc/{pid}/cmdline").read_bytes().lower().split(b"\0")
                env = Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
                if any(arg.endswith(b"\\" + name.lower().encode()) for arg in args) and \
                        f"WINEPREFIX={self.prefix}".encode() in env:
                    os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass

    def icons(self):
        for _ in range(10):  # a socket may go while we look
            try:
                children = self.panel.query_tree().children
                found = sorted((self.geometry(w.id), w.id) for w in children)
                return [wid for (x, y, w, h), wid in found if w > 1 and h > 1]
            except xerror.XError:
                time.sleep(0.05)
        raise RuntimeError("cannot list the icons in trayer's panel")

    def geometry(self, wid):
        window = self.x.create_resource_object("window", wid)
        g, pos = window.get_geometry(), self.x.screen().root.translate_coords(window, 0, 0)
        return pos.x, pos.y, g.width, g.height

    def tray_box(self):
        return self.geometry(self.panel.id)

    def screenshot(self, box=None):
        x, y, w, h = box or (0, 0, *self.size)
        raw = self.x.screen().root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
        return Image.frombytes("RGB", (w, h), raw.data, "raw", "BGRX")

    def centre(self, wid):
        x, y, w, h = self.geometry(wid)
        return x + w // 2, y + h // 2

    def steady(self, box, what, timeout=10):  # a screenshot once two in a row agree
        shots = [None]

        def same():
            shots.append(self.screenshot(box))
            return shots[-2] and shots[-1].tobytes() == shots[-2].tobytes()

        wait_for(what, timeout, same, 0.2)
        return shots[-1]

    def wait_icon(self, before=(), timeout=30):
        # Wine draws an icon straight onto its window, which has no
        # background of its own: drawn twice, its soft edges blend twice,
        # and a drawing made before Wine saw the window resized stays under
        # the next. So the icon's window, once shown in its slot, is cleared
        # (to the tray's background) and drawn anew by Wine until two
        # drawings in a row agree: that is the icon's own picture.
        drawings = {}  # by window: the last drawing, None while cleared

        def drawn():
            fresh = [wid for wid in self.icons() if wid not in before]
            if len(fresh) > 1:
                raise RuntimeError(f"more than one new icon docked: {fresh}")
            try:
                icon = next(w for w in self.x.create_resource_object("window", fresh[0])
                            .query_tree().children if w.get_attributes().map_state == X.IsViewable)
                shot = self.screenshot(self.geometry(fresh[0]))
            except (IndexError, StopIteration, xerror.XError):  # none yet, or gone while we look
                return None
            if icon.id in drawings and len(shot.getcolors(4096) or "") == 1:
                return None  # not drawn since the clearing
            if drawings.get(icon.id) == shot.tobytes():
                return fresh[0]
            drawings[icon.id] = shot.tobytes() if icon.id in drawings else None
            icon.clear_area(exposures=True)
            self.x.sync()
            return None

        return wait_for("a new icon in the tray, drawn", timeout, drawn)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, timeout=20,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    def click(self, x, y, button=1, repeat=1):
        self.xdotool("mousemove", x, y)
        time.sleep(0.1)
        self.xdotool("click", "--repeat", repeat, "--delay", 80, button)

    def key(self, *keys):
        self.xdotool("key", "--delay", 80, *keys)

    def park(self):
        self.xdotool("mousemove", 5, 5)
