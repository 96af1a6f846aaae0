#!/usr/bin/env python3
"""Makes the README's pictures from the screenshots of an end-to-end run:

    docs_images.py SCREENS DOCS

SCREENS is the run's screenshot folder (build/win32/e2e/screens), DOCS the
folder the pictures go to. docs/tray.png is the tray with the recorder's
icon and its tip (taskbar_created), docs/menu.png the open menu with the
check mark beside Permanent (permanent). Each is cut to what is not
background, with a margin of the screen around it where the screen has one,
and scaled up twice, pixel for pixel.
"""

import subprocess
import sys
from pathlib import Path

MARGIN = 16
SOURCES = {"tray.png": ("taskbar_created", "tip"), "menu.png": ("permanent", "menu-checked-screen")}


def magick(*args):
    result = subprocess.run(["convert", *args], capture_output=True, timeout=60)
    if result.returncode != 0:
        raise SystemExit(f"convert {' '.join(args)}: {result.stderr.decode(errors='replace')}")
    return result.stdout.decode()


def screenshot(screens, scenario, label):
    found = sorted((screens / scenario).glob(f"[0-9][0-9]-{label}.png"))
    if not found:
        raise SystemExit(f"no screenshot {label} in {screens / scenario}: run e2e.{scenario}")
    return found[0]


def crop(source, target):
    width, height = (int(v) for v in magick(str(source), "-format", "%w %h", "info:").split())
    box = magick(str(source), "-format", "%@", "info:")  # WxH+X+Y of what is not background
    size, x, y = box.split("+")
    box_width, box_height = (int(v) for v in size.split("x"))
    left, top = max(0, int(x) - MARGIN), max(0, int(y) - MARGIN)
    right = min(width, int(x) + box_width + MARGIN)
    bottom = min(height, int(y) + box_height + MARGIN)
    magick(str(source), "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
           "-filter", "point", "-resize", "200%", str(target))
    print(f"{target}: {right - left}x{bottom - top}+{left}+{top} of {source}, scaled 2x")


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__.split("\n\n")[1])
    screens, docs = Path(sys.argv[1]), Path(sys.argv[2])
    docs.mkdir(parents=True, exist_ok=True)
    for name, (scenario, label) in SOURCES.items():
        crop(screenshot(screens, scenario, label), docs / name)


if __name__ == "__main__":
    main()
