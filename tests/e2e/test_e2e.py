import re
import time
from pathlib import Path

import pytest
from PIL import Image, ImageChops

from conftest import BASE, MIVO, NOTE, RECORDER, RUN_KEY, mt

DATA = Path(__file__).resolve().parents[1] / "data"
RED, BLUE = (224, 16, 16), (16, 48, 224)  # the recorder's icons 0 and 1
VALUE = "Mivo Recorder"


def text_of(name):  # a box's text: the file's lines joined as Mivo joins them
    return "\n\r".join(Path(DATA, name).read_text("ascii").split("\n")[:-1])


def same(a, b):
    return a.size == b.size and ImageChops.difference(a, b).getbbox() is None


def main_colour(image):  # the commonest colour but the tray's
    return max((n, c) for n, c in image.getcolors(4096) if c != image.getpixel((0, 0)))[1]


@pytest.mark.parametrize("tail,tip,picture", [
    (RECORDER, "Recorder", RED),
    (NOTE + "," + RECORDER + "#1", "Note.txt", BLUE),
    (NOTE, "Note.txt", r"C:\windows\notepad.exe"),
    ("", None, MIVO),
    (RECORDER + "," + BASE + "none.ico", "Recorder", MIVO),
])
def test_icon_docks_with_tip_and_picture(win, tail, tip, picture):
    _, wid = win.dock(tail)
    image = win.icon(wid)
    assert tip is None or win.tip(wid) == tip
    if isinstance(picture, tuple):
        assert main_colour(image) == picture
    else:  # the picture of another target
        win.end_mivos()
        assert same(image, win.icon(win.dock(picture)[1]))
        assert RED not in dict((c, n) for n, c in image.getcolors(4096))


@pytest.mark.parametrize("button,clicks,launches", [(1, 1, 1), (1, 2, 1), (3, 1, 0)])
def test_press_launches_target_once_in_windows_folder(win, button, clicks, launches):
    _, wid = win.dock(RECORDER)
    win.d.click(*win.point(wid), button=button, repeat=clicks)
    mt.wait_for(f"{launches} launches", 10, lambda: len(win.launches()) >= launches)
    time.sleep(2)  # for any further launch
    assert [(cwd, line.strip()) for cwd, line in win.launches()] == \
        [("C:\\windows", f'"{RECORDER}"')] * launches


@pytest.mark.parametrize("item,caption,text", [(1, "Mivo 2.0", "about.txt"),
                                               (2, "Mivo quick help", "quick_help.txt")])
def test_menu_items_show_boxes(win, item, caption, text):
    _, wid = win.dock(RECORDER)
    win.choose(wid, item)
    texts, icon = win.box(caption)
    assert texts == [text_of(text)]
    if item == 1:  # Mivo's own icon on the box's background
        x, y = icon[:2]
        shot = win.d.screenshot((x - 1, y, 33, 32))
        own = Image.open(mt.ROOT / "resources/mivo.ico").convert("RGBA")
        expected = Image.new("RGB", (32, 32), shot.getpixel((0, 0)))
        expected.paste(own, mask=own)
        assert same(shot.crop((1, 0, 33, 32)), expected)


def test_check_mark_follows_run_value(win):
    _, wid = win.dock(RECORDER)
    box = win.menu(wid)
    unset = win.d.screenshot(box)
    win.d.key("Down", "Down", "Down")
    time.sleep(0.5)
    permanent_row = ImageChops.difference(unset, win.d.screenshot(box)).getbbox()
    win.d.key("Escape")
    add = ["reg", "add", RUN_KEY, "/v", VALUE, "/d", r"C:\OTHER\OTHER.EXE", "/f"]
    assert win.wine(add).wait(60) == 0  # stored by some other program
    mt.wait_for("the menu to close", 10, lambda: not win.windows("#32768"))
    mark = ImageChops.difference(unset, win.d.screenshot(win.menu(wid))).getbbox()
    assert mark and permanent_row[1] <= mark[1] and mark[3] <= permanent_row[3]
    win.d.key("Escape")
    mt.wait_for("the menu to close", 10, lambda: not win.windows("#32768"))
    win.choose(wid, 3)  # Permanent again: the value goes
    mt.wait_for("the Run value to go", 10, lambda: not win.run_values())


def test_logon_round_trip(win):
    proc, wid = win.dock(RECORDER)
    image = win.icon(wid)
    win.choose(wid, 3)
    stored = mt.wait_for("the Run value", 10, win.run_values)
    assert stored == {VALUE: ("REG_SZ", f'"{MIVO}" {RECORDER}')}
    win.choose(wid, 4)
    assert proc.wait(15) == 0 and not win.d.icons()
    again = win.start(stored[VALUE][1])  # as the system runs it at logon
    wid = win.d.wait_icon()
    assert same(win.icon(wid), image) and win.tip(wid) == "Recorder"
    win.choose(wid, 3)
    mt.wait_for("the Run value to go", 10, lambda: not win.run_values())
    assert again.poll() is None


def test_icon_returns_after_taskbar_created(win):
    _, wid = win.dock(RECORDER)
    image = win.icon(wid)
    assert win.probe("forget")[0] == 0
    mt.wait_for("the icon to go", 10, lambda: not win.d.icons())
    assert win.probe("taskbar", "send")[0] == 0
    wid = win.d.wait_icon()
    assert same(win.icon(wid), image) and win.tip(wid) == "Recorder"


@pytest.mark.parametrize("length", [259, 260, 400])
def test_tail_over_259_characters_is_refused(win, length):
    proc = win.start(f'"{MIVO}" C:\\' + "x" * (length - 3))
    if length <= 259:
        win.d.wait_icon()
    else:
        assert proc.wait(30) == 2 and not win.d.icons() and not win.run_values()


@pytest.mark.parametrize("how", ["WM_CLOSE", "taskkill"])
def test_polite_close_ends_with_0(win, how):
    proc, wid = win.dock(RECORDER)
    if how == "WM_CLOSE":
        assert win.probe("close")[0] == 0
    else:
        pid = proc.out_path.read_text().split()[1]
        assert win.wine(["taskkill", "/pid", pid]).wait(60) == 0
    assert proc.wait(15) == 0 and not win.d.icons()


def test_lets_taskbar_created_through_uipi(win):
    proc, _ = win.dock(RECORDER, debug="-all,+relay")
    message = int(win.probe("taskbar")[1][0])
    trace = proc.err_path.read_text("latin-1")
    assert re.search(r'GetProcAddress\(\w+,\w+ "ChangeWindowMessageFilter"\)', trace)
    assert f"Call user32.ChangeWindowMessageFilter({message:08x},00000001)" in trace
