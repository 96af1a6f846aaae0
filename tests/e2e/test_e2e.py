from pathlib import Path

import pytest
from PIL import Image, ImageChops

from conftest import (ADDRESS, BASE, COPIES, DOWNLOADS, LINK, MIVO, NOTE, PLANTED, RECORDER,
                      RUN_KEY, STANDARD_USER, USER_LIST, USER_RUN_KEY, mt)

DATA = Path(__file__).resolve().parents[1] / "data"
# The recorder's icons 0 and 1 as the tray shows them: their small pictures
# (their large ones are red and blue).
ORANGE, GREEN = (240, 128, 0), (16, 160, 64)


def diff(a, b):  # the box around the pixels that differ, or None
    return ImageChops.difference(a, b).getbbox()


def colours(image):  # the picture's colours but the tray's, the commonest last
    return [c for n, c in sorted(image.getcolors(4096)) if c != image.getpixel((0, 0))]


# A program's own picture, and its tip: the logon round trip.
@pytest.mark.parametrize("tail,tip,picture", [
    (NOTE + "," + RECORDER + "#1", "Note.txt", GREEN),
    (NOTE, "Note.txt", r"C:\windows\notepad.exe"),
    ("", None, MIVO),
    (RECORDER + "," + BASE + "none.ico", "Recorder", MIVO),
], ids=["icon-file-number", "document", "empty-tail", "unreadable-icon-file"])
def test_icon_docks_with_tip_and_picture(win, tail, tip, picture):
    wid = win.dock(tail)[1]
    image = win.icon(wid)
    assert tip is None or win.tip(wid) == tip
    if isinstance(picture, str):  # the picture of another target
        win.end_mivos()
        assert diff(image, win.icon(win.dock(picture)[1])) is None and ORANGE not in colours(image)
    else:
        assert colours(image)[-1] == picture


@pytest.mark.parametrize("item,caption,text", [(2, "Mivo 2.0", "about.txt"),
                                               (3, "Mivo quick help", "quick_help.txt")])
def test_menu_items_show_boxes(win, item, caption, text):
    win.choose(win.dock(RECORDER)[1], item)
    texts, icons = win.box(caption)
    assert texts == ["\n\r".join((DATA / text).read_text("ascii").split("\n")[:-1])]
    if item == 2:  # Mivo's own icon, on the box's background left of it
        shot = win.d.screenshot((icons[0][0] - 1, icons[0][1], 33, 32))
        own = Image.open(mt.ROOT / "resources/mivo.ico").ico.getimage((32, 32)).convert("RGBA")
        expected = Image.new("RGB", (33, 32), shot.getpixel((0, 0)))
        expected.paste(own, (1, 0), own)
        assert diff(shot, expected) is None


# The recorder and its copies under names in other scripts (which Mivo
# takes in UTF-8), or in quotes as Explorer hands over a file dropped on
# Mivo.exe, or with arguments; an address of a scheme that the recorder
# opens (the user's newest choice, its icon 0): their icon, and a left
# press starts them. A standard user, who may not change the machine's Run
# key, has the value under the user's own.
@pytest.mark.parametrize("target,name,user", [
    (RECORDER, "Recorder", False), (RECORDER, "Recorder", True), (COPIES[0], "Письмо", False),
    (COPIES[1], "報告", False), (COPIES[2], "😀 party", False), (LINK, "Recorder.lnk", False),
    (f'"{COPIES[3]}"', "Some tool", False), (f'"{RECORDER}" a,b  "c d"', 'Recorder a,b  "c d"', False),
    (ADDRESS, "page", False)],
    ids=["cp1252", "standard-user", "cyrillic", "cjk", "emoji", "shortcut", "dropped", "arguments", "address"])
def test_logon_round_trip(win, target, name, user):
    key, other = (USER_RUN_KEY, RUN_KEY) if user else (RUN_KEY, USER_RUN_KEY)
    assert not user or win.probe("dacl", STANDARD_USER)[0] == 0
    proc, wid = win.dock(target)
    image = win.icon(wid)
    win.d.click(*win.d.centre(wid))
    launches = mt.wait_for("a launch", 10, win.launches)
    launched = {LINK: f'"{RECORDER}"', ADDRESS: f'"{RECORDER}" "{ADDRESS}"'}.get(  # a shortcut starts its target
        target, target if target[0] == '"' else f'"{target}"')
    assert colours(image)[-1] == ORANGE and launches == [("C:\\windows", launched)]
    win.choose(wid, 4)
    stored = mt.wait_for("the Run value", 10, lambda: win.run_values(key))
    if user:  # turned off in Task Manager: no mark, and Permanent turns it on again
        off = ["/v", "Mivo " + name, "/t", "REG_BINARY", "/d", "03" * 12, "/f"]
        assert win.wine(["reg", "add", USER_LIST, *off]).wait(60) == 0
        win.choose(wid, 4)
        mt.wait_for("the startup list's entry to go", 10, lambda: not win.run_values(USER_LIST))
    assert stored == win.run_values(key) == {"Mivo " + name: ("REG_SZ", f'"{MIVO}" {target}')}
    assert not win.run_values(other)
    win.choose(wid, 5)
    assert proc.wait(15) == 0 and not win.d.icons()
    win.start(stored["Mivo " + name][1])  # as the system runs it at logon
    wid = win.d.wait_icon()
    assert diff(win.icon(wid), image) is None and win.tip(wid) == name
    win.choose(wid, 4)
    mt.wait_for("the Run value to go", 10, lambda: not win.run_values(key))


# Without a mouse: Enter on the icon (for an icon like Mivo's the shell sends
# a right press and release), then keys in the menu; Close still ends Mivo.
@pytest.mark.parametrize("keys,opened", [("o", 1), ("Down Return", 1), ("Escape", 0)])
def test_keyboard_opens_target(win, keys, opened):
    proc, launches = win.dock(RECORDER)[0], [("C:\\windows", f'"{RECORDER}"')] * opened
    win.choose(None, keys.split())
    mt.wait_for("the launches", 10, lambda: win.launches() == launches)
    win.choose(None, ["c"])
    assert proc.wait(15) == 0 and win.launches() == launches


# Windows remembers an icon by its window's program and its identifier:
# each Mivo's identifier is its tail's, which the shell knows for its window
# alone, and none is 1000, the one all Mivos shared.
def test_each_file_its_own_icon(win):
    tails = [RECORDER, f'"{COPIES[3]}"']
    mivos = [win.dock(tail) for tail in tails]
    ids = [win.probe("uid", tail)[1][0][0] for tail in tails]
    owners = [[line[0] for line in win.probe("modify", uid)[1]] for uid in ids + ["1000"]]
    assert len(owners[0]) == len(owners[1]) == 1 and owners[0] != owners[1] and not owners[2]
    for (proc, wid), left in zip(mivos, (1, 0)):
        win.choose(wid, 5)
        assert proc.wait(15) == 0 and len(win.d.icons()) == left


# Windows looks beside the program first for a DLL that is not a known DLL
# (Wine does when told so: n,b). Mivo from Downloads, beside DLLs named like
# system ones, docks and launches, and none of them runs. Planted are the
# names that Wine loads late through LoadLibrary: those it loads before
# WinMain, or through its own DLLs' delayed imports (shell32's ole32), no
# code of Mivo's keeps out under Wine (README.md).
def test_dlls_beside_mivo_do_not_run(win):
    wid = win.dock(LINK, {"WINEDLLOVERRIDES": f"mscoree,mshtml=;{','.join(PLANTED)}=n,b"}, DOWNLOADS + "Mivo.exe")[1]
    win.d.click(*win.d.centre(wid))
    assert mt.wait_for("a launch", 10, win.launches) == [("C:\\windows", f'"{RECORDER}"')] \
        and not (win.drive / "mivo-e2e/planted.log").exists(), "no launch, or a planted DLL ran in Mivo"
