import time
from pathlib import Path

import pytest
from PIL import Image, ImageChops

from conftest import BASE, COPIES, MIVO, NOTE, RECORDER, RUN_KEY, STANDARD_USER, USER_RUN_KEY, mt

DATA = Path(__file__).resolve().parents[1] / "data"
# The recorder's icons 0 and 1 as the tray shows them: their small pictures
# (their large ones are red and blue).
ORANGE, GREEN = (240, 128, 0), (16, 160, 64)


def diff(a, b):  # the box around the pixels that differ, or None
    return ImageChops.difference(a, b).getbbox()


def colours(image):  # the picture's colours but the tray's, the commonest last
    return [c for n, c in sorted(image.getcolors(4096)) if c != image.getpixel((0, 0))]


@pytest.mark.parametrize("tail,tip,picture", [
    (RECORDER, "Recorder", ORANGE),
    (NOTE + "," + RECORDER + "#1", "Note.txt", GREEN),
    (NOTE, "Note.txt", r"C:\windows\notepad.exe"),
    ("", None, MIVO),
    (RECORDER + "," + BASE + "none.ico", "Recorder", MIVO),
], ids=["program", "icon-file-number", "document", "empty-tail", "unreadable-icon-file"])
def test_icon_docks_with_tip_and_picture(win, tail, tip, picture):
    wid = win.dock(tail)[1]
    image = win.icon(wid)
    assert tip is None or win.tip(wid) == tip
    if isinstance(picture, str):  # the picture of another target
        win.end_mivos()
        assert diff(image, win.icon(win.dock(picture)[1])) is None and ORANGE not in colours(image)
    else:
        assert colours(image)[-1] == picture


@pytest.mark.parametrize("button,clicks,launches", [(1, 1, 1), (1, 2, 1), (3, 1, 0)])
def test_press_launches_target_once_in_windows_folder(win, button, clicks, launches):
    win.d.click(*win.d.centre(win.dock(RECORDER)[1]), button=button, repeat=clicks)
    mt.wait_for(f"{launches} launches", 10, lambda: len(win.launches()) >= launches)
    time.sleep(2)  # for any further launch
    assert [(cwd, line.strip()) for cwd, line in win.launches()] == \
        [("C:\\windows", f'"{RECORDER}"')] * launches


@pytest.mark.parametrize("item,caption,text", [(1, "Mivo 2.0", "about.txt"),
                                               (2, "Mivo quick help", "quick_help.txt")])
def test_menu_items_show_boxes(win, item, caption, text):
    win.choose(win.dock(RECORDER)[1], item)
    texts, icons = win.box(caption)
    assert texts == ["\n\r".join((DATA / text).read_text("ascii").split("\n")[:-1])]
    if item == 1:  # Mivo's own icon, on the box's background left of it
        shot = win.d.screenshot((icons[0][0] - 1, icons[0][1], 33, 32))
        own = Image.open(mt.ROOT / "resources/mivo.ico").ico.getimage((32, 32)).convert("RGBA")
        expected = Image.new("RGB", (33, 32), shot.getpixel((0, 0)))
        expected.paste(own, (1, 0), own)
        assert diff(shot, expected) is None


# In code page 932 the katakana so, fu, to and the kanji hyo, two of them
# ending in 0x5C there. No such file (Wine's file names lose their high bits
# under that locale here): Mivo's own icon. The others are the recorder and
# its copies under names in other scripts (which Mivo takes in UTF-8): their
# icon, and a left press starts them. A standard user, who may not change
# the machine's Run key, has the value under the user's own.
@pytest.mark.parametrize("target,name,env,user", [
    (RECORDER, "Recorder", {}, False), (BASE + "ソフト表.exe", "ソフト表", {"LC_ALL": "ja_JP.UTF-8"}, False),
    (RECORDER, "Recorder", {}, True), (COPIES[0], "Письмо", {}, False), (COPIES[1], "報告", {}, False),
    (COPIES[2], "😀 party", {}, False)], ids=["cp1252", "cp932", "standard-user", "cyrillic", "cjk", "emoji"])
def test_logon_round_trip(win, target, name, env, user):
    key, other = (USER_RUN_KEY, RUN_KEY) if user else (RUN_KEY, USER_RUN_KEY)
    assert not user or win.probe("dacl", STANDARD_USER)[0] == 0
    win.env = env
    proc, wid = win.dock(target)
    image = win.icon(wid)
    if not env:
        win.d.click(*win.d.centre(wid))
        launches = mt.wait_for("a launch", 10, win.launches)
        assert colours(image)[-1] == ORANGE and launches == [("C:\\windows", f'"{target}"')]
    win.choose(wid, 3)
    stored = mt.wait_for("the Run value", 10, lambda: win.run_values(key))
    assert stored == {"Mivo " + name: ("REG_SZ", f'"{MIVO}" {target}')} and not win.run_values(other)
    win.choose(wid, 4)
    assert proc.wait(15) == 0 and not win.d.icons()
    win.start(stored["Mivo " + name][1])  # as the system runs it at logon
    wid = win.d.wait_icon()
    assert diff(win.icon(wid), image) is None and win.tip(wid) == name
    win.choose(wid, 3)
    mt.wait_for("the Run value to go", 10, lambda: not win.run_values(key))


@pytest.mark.parametrize("message,wparam,ends", [("0x10", "0", True), ("0x16", "1", True),
                                                ("0x16", "0", False)],
                         ids=["WM_CLOSE", "WM_ENDSESSION-TRUE", "WM_ENDSESSION-FALSE"])
def test_requests_to_end(win, message, wparam, ends):
    proc = win.dock(RECORDER)[0]
    assert win.probe("post", message, wparam)[0] == 0
    if ends:
        assert proc.wait(15) == 0 and not win.d.icons()
    else:  # a session that goes on
        time.sleep(2)
        assert proc.poll() is None and win.d.icons()
