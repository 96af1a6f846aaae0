#!/usr/bin/env python3
# Mivo under Wine in a virtual display with trayer as the tray:
#   docs_images.py docs [DIR]     the README's pictures from a real run, in DIR (docs/):
#                                 tray.png, Notepad's icon with its tip; menu.png, the menu
#   docs_images.py run [TAIL...]  scripts/run.sh without a display: Mivo for TAIL, the tray
#                                 in build/run/tray.png once docked, then on until Mivo ends
# Pictures are cut to the tray (and the tip or menu) and enlarged pixel for pixel.
import signal
import sys
from pathlib import Path

from PIL import Image, ImageChops

sys.path.insert(0, str(Path(__file__).resolve().parent))
import mivo_tray  # noqa: E402

MIVO = mivo_tray.ROOT / "build" / "win32" / "Mivo.exe"
NOTEPAD = r"C:\windows\notepad.exe"
MARGIN, SCALE = 6, 3


def edges(x, y, w, h):
    return x, y, x + w, y + h


def union(a, b):
    return min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3])


def save_picture(desk, box, path):
    width, height = desk.size
    left, top = max(0, box[0] - MARGIN), max(0, box[1] - MARGIN)
    right, bottom = min(width, box[2] + MARGIN), min(height, box[3] + MARGIN)
    image = desk.screenshot((left, top, right - left, bottom - top))
    image.resize((image.width * SCALE, image.height * SCALE), Image.NEAREST).save(path)
    print(f"{path}: {right - left}x{bottom - top}+{left}+{top} of the screen, {SCALE}x")


def start_mivo(desk, tail, log_base):
    before = desk.icons()
    proc = desk.wine([MIVO, *tail], log_base)
    wid = desk.wait_icon(before)
    desk.park()
    return proc, wid


def settled_change(desk, base, outside, what):
    # Waits for the screen to differ from base somewhere outside the box
    # `outside`, and to stay the same for a moment; gives the changed box.
    last = [None]

    def steady():
        shot = desk.screenshot()
        box = ImageChops.difference(base, shot).getbbox()
        same = last[0] is not None and shot.tobytes() == last[0].tobytes()
        last[0] = shot
        if box and union(box, outside) != outside and same:
            return box
        return None

    return mivo_tray.wait_for(what, 15, steady, 0.2)


def screen_back(desk, base, what):
    mivo_tray.wait_for(what, 15, lambda: desk.screenshot().tobytes() == base.tobytes(), 0.2)


def docs(out):
    out.mkdir(parents=True, exist_ok=True)
    with mivo_tray.Desktop(prefix()) as desk:
        proc, wid = start_mivo(desk, [NOTEPAD], mivo_tray.ROOT / "build" / "docs" / "mivo")
        tray = edges(*desk.tray_box())
        base = desk.screenshot()
        x, y, w, h = desk.geometry(wid)
        desk.xdotool("mousemove", x + w // 2, y + h // 2)
        tip = settled_change(desk, base, tray, "the icon's tip")
        save_picture(desk, union(tray, tip), out / "tray.png")
        desk.park()
        screen_back(desk, base, "the tip to go")
        desk.click(x + w // 2, y + h // 2, button=3)
        desk.park()
        menu = settled_change(desk, base, tray, "the menu")
        save_picture(desk, union(tray, menu), out / "menu.png")
        desk.click(5, 5)  # a press elsewhere closes it; Escape does not reach it
        screen_back(desk, base, "the menu to close")
        proc.terminate()
        proc.wait(10)
    return 0


def run(tail):
    out = mivo_tray.ROOT / "build" / "run"
    with mivo_tray.Desktop(prefix()) as desk:
        print(f"virtual display {desk.display} with trayer as the tray", flush=True)
        proc, _ = start_mivo(desk, tail or [NOTEPAD], out / "mivo")
        save_picture(desk, edges(*desk.tray_box()), out / "tray.png")
        print(f"icon docked; the tray is in {out / 'tray.png'}")
        print(f"running on {desk.display} until Mivo is closed; Ctrl+C stops it", flush=True)
        code = proc.wait()
    print(f"Mivo ended with exit code {code}")
    return code


def prefix():
    path = mivo_tray.prefix_path()
    mivo_tray.ensure_prefix(path)
    return path


def main(args):
    # Ctrl+C and kill end the desktop too, even when started in the background
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        if args[:1] == ["docs"] and len(args) <= 2:
            return docs(Path(args[1] if len(args) > 1 else mivo_tray.ROOT / "docs"))
        if args[:1] == ["run"]:
            return run(args[1:])
    except KeyboardInterrupt:
        return 130
    sys.exit("usage: docs_images.py docs [DIR] | run [TAIL...]")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
