#!/usr/bin/env python3
"""End-to-end scenarios: the real Mivo.exe under Wine, its icon docked in a
real X system tray, pressed with xdotool and read back through probe.exe,
the registry and screenshots.

    e2e.py --work DIR --mivo Mivo.exe --probe probe.exe --recorder
           mivo_recorder.exe --source SRCDIR  setup | cleanup | run NAME | all

CTest runs `setup` and `cleanup` as a fixture around the scenarios (one test
each). Screenshots and the output of every Wine program a scenario ran are
left in DIR/screens/NAME/.
"""

import argparse
import re
import shutil
import sys
import time
from pathlib import Path

from harness import (C_DIR, RUN_KEY, Failure, Paths, Session, Stage, check, decode_escapes, show,
                     wait_for)

RECORDER = C_DIR + "\\mivo_recorder.exe"
# The recorder's icon: four quarters of these colours (make_recorder_icon.py).
RECORDER_COLOURS = ((220, 20, 20), (250, 220, 0), (20, 40, 220), (20, 170, 40))
RECORDER_TIP = "Mivo_recorder"
RECORDER_VALUE = "Mivo " + RECORDER_TIP
LAUNCH_DIRECTORY = "C:\\WINDOWS"
MAX_TAIL = 259

QUICK_HELP_CAPTION = "Mivo quick help"
# The Quick help box's lines, one per line of the file, joined as the box
# joins them: a line feed, then a carriage return.
QUICK_HELP_TEXT = "\n\r".join(
    (Path(__file__).resolve().parent.parent / "data" / "quick_help.txt")
    .read_text(encoding="ascii").split("\n")[:-1])
ABOUT_CAPTION = "Mivo 2.0"

SCENARIOS = {}


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


# --- Texts from the sources ----------------------------------------------------

C_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'", "a": "\a",
             "b": "\b", "f": "\f", "v": "\v", "?": "?"}


def c_string_value(source, name):
    """The value of `const char name[] = "..." "...";` in a C++ source: the
    adjacent literals joined, escapes decoded."""
    match = re.search(r"\b" + re.escape(name) + r"\s*\[\s*\]\s*=", source)
    check(match, f"no definition of {name} found")
    position, value = match.end(), []
    token = re.compile(r'\s+|//[^\n]*|/\*.*?\*/|"((?:[^"\\\n]|\\.)*)"|;', re.S)
    while True:
        part = token.match(source, position)
        check(part, f"{name}: cannot read the definition at {source[position:position + 30]!r}")
        position = part.end()
        if part.group(0) == ";":
            break
        if part.group(1) is not None:
            value.append(part.group(1))
    text = "".join(value)

    def unescape(m):
        body = m.group(1)
        if body[0] == "x":
            return chr(int(body[1:], 16))
        if body[0] in "01234567":
            return chr(int(body, 8))
        return C_ESCAPES[body]

    return re.sub(r"\\(x[0-9A-Fa-f]+|[0-7]{1,3}|.)", unescape, text)


def about_text(source_dir):
    path = Path(source_dir) / "applet" / "menu_commands.cpp"
    check(path.exists(), f"{path} is missing: the About text is read from there")
    return c_string_value(path.read_text(encoding="latin-1"), "szAboutText")


# --- Steps shared by the scenarios -------------------------------------------


def dock(stage, tail, label, exe=None, debug=None):
    """Starts Mivo and waits for its icon: (process, icon)."""
    before = {icon[0] for icon in stage.session.tray_icons()}
    proc = stage.start_mivo(tail, label, exe, debug)
    try:
        icon = stage.wait_new_icon(before, label)
    except Failure:
        if proc.poll() is not None:
            raise Failure(f"Mivo with tail {show(tail)} ended with exit code {proc.poll()} "
                          "before its icon docked") from None
        raise
    return proc, icon


def close_from_menu(stage, proc, icon, by_key=False):
    """Close from the icon's menu: the icon leaves, the process ends with 0."""
    menu = stage.open_menu(icon)
    if by_key:
        menu.key("c")
    else:
        menu.choose("Close")
    stage.wait_icon_gone(icon)
    code = proc.wait(10, f"Mivo ({icon.label}) to end after Close")
    check(code == 0, f"Mivo ({icon.label}) ended with exit code {code} after Close, expected 0")


def has_colour(image, colour, tolerance=40):
    return any(all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))
               for pixel in image.colours())


def check_recorder_icon(image, what):
    missing = [c for c in RECORDER_COLOURS if not has_colour(image, c)]
    check(not missing, f"{what} does not show the recorder's icon: colours {missing} missing")


def check_not_recorder_icon(image, what):
    present = [c for c in RECORDER_COLOURS if has_colour(image, c, 20)]
    check(len(present) < 2, f"{what} shows the recorder's colours {present}")


def check_same_icon(first, second, what):
    differing = first.differing_pixels(second)
    check(differing == 0, f"{what}: the icons differ in {differing} pixels")


def check_other_icon(first, second, what):
    differing = first.differing_pixels(second)
    check(differing > first.width * first.height // 10,
          f"{what}: the icons differ in only {differing} pixels")


def launch_count_settles(stage, expected, what, settle=2.0):
    """Waits for `expected` launches in all, then makes sure no more come."""
    wait_for(f"{what}: launch number {expected}", 15,
             lambda: len(stage.launches()) >= expected)
    time.sleep(settle)
    launches = stage.launches()
    check(len(launches) == expected,
          f"{what}: {len(launches)} launches in all, expected {expected}: {launches}")
    return launches


def check_launch(launch, program):
    directory, command_line = launch
    check(directory.rstrip("\\").lower() == LAUNCH_DIRECTORY.lower(),
          f"launched in {show(directory)}, expected {LAUNCH_DIRECTORY} (any case)")
    line = command_line.strip(" \t")
    if line.startswith('"'):
        name, _, rest = line[1:].partition('"')
    else:
        name, _, rest = line.partition(" ")
    check(name.lower() == program.lower(),
          f"launched {show(name)}, expected {show(program)}; command line {show(command_line)}")
    check(rest.strip(" \t") == "", f"launched with parameters {show(rest)}; expected none")


def wait_run_value(stage, present, name=RECORDER_VALUE):
    """Waits for the Run value to be there (or gone); gives its (type, data)."""
    def state():
        values = stage.run_values()
        if present:
            return values.get(name)
        return name not in values

    return wait_for(f"the Run value {show(name)} to be {'stored' if present else 'deleted'}",
                    10, state, 0.3)


def check_box(stage, caption, text, label):
    box = stage.read_box(caption)
    stage.screenshot(label)
    check(box.get("count") == 1, f"{box.get('count')} boxes titled {show(caption)}, expected 1")
    check(box.get("caption") == caption, f"box caption {show(box.get('caption'))}")
    check(box["statics"] == [text],
          f"the box {show(caption)} says {[show(s) for s in box['statics']]}, expected "
          f"{show(text)}")
    stage.press_ok(box, caption)


# --- Scenarios -----------------------------------------------------------------


@scenario
def dock_program(stage):
    """A program as target: its icon docks, not Mivo's own; the hidden
    window exists and is not visible."""
    start = time.monotonic()
    proc, icon = dock(stage, RECORDER, "recorder")
    log(f"icon docked {time.monotonic() - start:.2f} s after the start")
    stage.screenshot("docked-recorder")
    program_icon = stage.icon_pixels(icon)
    check_recorder_icon(program_icon, "the icon of a Mivo for the recorder")

    windows = stage.main_windows()
    check(len(windows) == 1, f"{len(windows)} windows MivoClass/Hovedvindu, expected 1")
    check(not windows[0][1], "the hidden window Hovedvindu is visible")
    close_from_menu(stage, proc, icon, by_key=True)

    proc, icon = dock(stage, "", "empty tail")
    stage.screenshot("docked-own-icon")
    own_icon = stage.icon_pixels(icon)
    check_other_icon(program_icon, own_icon, "recorder's icon against Mivo's own")
    close_from_menu(stage, proc, icon, by_key=True)

    # An icon file after the comma gives the icon; the target stays a
    # document whose own program would give another.
    note = stage.paths.c_dir / "note.txt"
    note.write_bytes(b"Mivo e2e\r\n")
    proc, icon = dock(stage, C_DIR + "\\note.txt," + RECORDER, "document with icon file")
    stage.screenshot("docked-icon-file")
    check_same_icon(stage.icon_pixels(icon), program_icon, "icon taken from the icon file")
    close_from_menu(stage, proc, icon, by_key=True)


@scenario
def dock_own_icon(stage):
    """No usable icon: an empty tail, a missing target and an empty icon
    file all dock Mivo's own icon."""
    own = None
    for tail, label in (("", "empty tail"), (C_DIR + "\\missing.exe", "missing target"),
                        (RECORDER + ",", "empty icon file")):
        proc, icon = dock(stage, tail, label)
        stage.screenshot("docked-" + label.replace(" ", "-"))
        pixels = stage.icon_pixels(icon)
        check_not_recorder_icon(pixels, f"the icon for {label}")
        if own is None:
            own = pixels
        else:
            check_same_icon(pixels, own, f"{label} against the empty tail")
        check(proc.poll() is None, f"Mivo for {label} ended by itself")
        close_from_menu(stage, proc, icon, by_key=True)


@scenario
def launch(stage):
    """A left press opens the target once, in C:\\WINDOWS, without
    parameters; a double click opens it once; a document opens in the
    program registered for it."""
    proc, icon = dock(stage, RECORDER, "recorder")
    stage.press(icon, 1)
    launches = launch_count_settles(stage, 1, "one left press")
    check_launch(launches[0], RECORDER)
    stage.session.park_pointer()

    # Wine's tray delivers a double click as down, up, double click, up, as
    # the shell does: only the down launches.
    stage.press(icon, 1, count=2)
    launches = launch_count_settles(stage, 2, "a double click after one press")
    check_launch(launches[1], RECORDER)
    stage.session.park_pointer()
    stage.screenshot("after-launches")
    close_from_menu(stage, proc, icon, by_key=True)

    note = stage.paths.c_dir / "note.txt"
    note.write_bytes(b"Mivo e2e\r\n")
    proc, icon = dock(stage, C_DIR + "\\note.txt", "document")
    before = {hwnd for hwnd, _ in notepad_windows(stage)}
    stage.press(icon, 1)
    stage.session.park_pointer()
    opened = wait_for("a Notepad window for note.txt", 20,
                      lambda: [w for w in notepad_windows(stage) if w[0] not in before])
    check(len(opened) == 1, f"{len(opened)} Notepad windows opened, expected 1")
    hwnd, title = opened[0]
    check("note" in title.lower(), f"Notepad's title {show(title)} does not name note.txt")
    stage.screenshot("notepad")
    code, _ = stage.probe("close", hwnd)
    check(code == 0, "could not ask Notepad to close")
    wait_for("Notepad to close", 15, lambda: hwnd not in dict(notepad_windows(stage)))
    close_from_menu(stage, proc, icon, by_key=True)


def notepad_windows(stage):
    """Notepad's visible top-level windows: (handle, title) each."""
    return [(hwnd, title) for hwnd, _, title in visible_windows(stage, "Notepad")]


@scenario
def menu_boxes(stage):
    """The menu holds About, Quick help, a separator, Permanent and Close;
    About and Quick help show their boxes, caption and text exact, chosen
    by mouse and by key."""
    about = about_text(stage.source)
    proc, icon = dock(stage, RECORDER, "recorder")

    menu = stage.open_menu(icon)
    menu.save("menu")
    check(not menu.permanent_checked(), "Permanent is checked on a system without the value")
    menu.key("q")
    check_box(stage, QUICK_HELP_CAPTION, QUICK_HELP_TEXT, "quick-help-by-key")

    menu = stage.open_menu(icon)
    menu.choose("Quick help")
    check_box(stage, QUICK_HELP_CAPTION, QUICK_HELP_TEXT, "quick-help-by-mouse")

    menu = stage.open_menu(icon)
    menu.choose("About")
    check_box(stage, ABOUT_CAPTION, about, "about-by-mouse")

    menu = stage.open_menu(icon)
    menu.key("a")
    check_box(stage, ABOUT_CAPTION, about, "about-by-key")

    check(not stage.launches(), f"the menu launched the target: {stage.launches()}")
    close_from_menu(stage, proc, icon, by_key=True)


@scenario
def permanent(stage):
    """Permanent stores the Run value (module path, blank, tail), the next
    menu shows the check mark, Permanent again deletes it; a value of the
    same name stored by someone else counts as present."""
    module = C_DIR + "\\Mivo.exe"
    proc, icon = dock(stage, RECORDER, "recorder")
    menu = stage.open_menu(icon)
    menu.save("menu-unchecked")
    unchecked = menu
    check(not menu.permanent_checked(), "Permanent checked before the value exists")
    menu.choose("Permanent")
    kind, data = wait_run_value(stage, True)
    check(kind == "REG_SZ", f"the Run value has type {kind}, expected REG_SZ")
    expected = module + " " + RECORDER
    check(data == expected, f"the Run value holds {show(data)}, expected {show(expected)}")
    others = [name for name in stage.run_values() if name.startswith("Mivo ")]
    check(others == [RECORDER_VALUE], f"Run values {others}, expected only {RECORDER_VALUE}")

    menu = stage.open_menu(icon)
    menu.save("menu-checked")
    stage.screenshot("menu-checked-screen")
    check(menu.permanent_checked(), "no check mark beside Permanent while the value exists")
    check((menu.width, menu.height) == (unchecked.width, unchecked.height),
          "the menu changed its size with the check mark")
    changed = [(x, y) for y in range(menu.height) for x in range(menu.width)
               if menu.image.pixel(x, y) != unchecked.image.pixel(x, y)]
    check(changed, "the menus with and without the value look the same")
    outside = [(x, y) for x, y in changed if x >= menu.text_left() - 1]
    check(not outside, f"the check mark changed pixels outside its margin: {outside[:5]}")
    menu.choose("Permanent")
    wait_run_value(stage, False)

    menu = stage.open_menu(icon)
    menu.save("menu-unchecked-again")
    check(not menu.permanent_checked(), "check mark still shown after the value was deleted")
    menu.key("Escape")
    wait_for("the menu to close on Escape", 5, lambda: not menu.is_open())

    # Somebody else's value of the same name: shown as set, and deleted.
    add = stage.wine(["reg", "add", RUN_KEY, "/v", RECORDER_VALUE, "/t", "REG_SZ", "/d",
                      "C:\\OTHER\\OTHER.EXE", "/f"], "reg-add")
    check(add.wait(30, "reg add") == 0, "reg add failed")
    menu = stage.open_menu(icon)
    menu.save("menu-foreign-value")
    check(menu.permanent_checked(), "a value stored by another program shows no check mark")
    menu.choose("Permanent")
    wait_run_value(stage, False)
    close_from_menu(stage, proc, icon, by_key=True)

    # The tail is stored as received, icon part included; the value name
    # comes from the target alone.
    tail = C_DIR + "\\note.txt," + RECORDER + "#0"
    (stage.paths.c_dir / "note.txt").write_bytes(b"Mivo e2e\r\n")
    proc, icon = dock(stage, tail, "document with icon file")
    menu = stage.open_menu(icon)
    menu.choose("Permanent")
    kind, data = wait_run_value(stage, True, "Mivo Note.txt")
    check(data == module + " " + tail, f"the Run value holds {show(data)}, expected "
                                       f"{show(module + ' ' + tail)}")
    menu = stage.open_menu(icon)
    menu.choose("Permanent")
    wait_run_value(stage, False, "Mivo Note.txt")
    close_from_menu(stage, proc, icon, by_key=True)


@scenario
def logon_round_trip(stage):
    """Mivo in a folder with blanks stores a Run value that, run the way the
    system runs it at logon, brings back the same icon for the same target."""
    folder = stage.paths.drive_c / "Program Files" / "Mivo"
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(stage.paths.c_dir / "Mivo.exe", folder / "Mivo.exe")
    module = "C:\\Program Files\\Mivo\\Mivo.exe"

    proc, icon = dock(stage, RECORDER, "recorder", exe=module)
    first_icon = stage.icon_pixels(icon)
    menu = stage.open_menu(icon)
    menu.choose("Permanent")
    kind, data = wait_run_value(stage, True)
    log(f"Run value stored from a folder with blanks: {kind} {show(data)}")
    expected = '"' + module + '" ' + RECORDER
    check(data == expected, f"the Run value holds {show(data)}, expected {show(expected)}")
    close_from_menu(stage, proc, icon)
    check(RECORDER_VALUE in stage.run_values(), "Close removed the Run value")

    # The system runs the value's data as a command line, without naming
    # the program apart.
    before = {i[0] for i in stage.session.tray_icons()}
    runner = stage.wine([C_DIR + "\\probe.exe", "run-cmdline", "120000",
                         "hex:" + data.encode("latin-1").hex()], "logon")
    icon = stage.wait_new_icon(before, "the instance started at logon")
    stage.screenshot("docked-after-logon")
    check_same_icon(stage.icon_pixels(icon), first_icon, "the icon after logon")
    stage.press(icon, 1)
    launches = launch_count_settles(stage, 1, "a left press after logon")
    check_launch(launches[0], RECORDER)
    stage.session.park_pointer()

    menu = stage.open_menu(icon)
    menu.save("menu-after-logon")
    check(menu.permanent_checked(), "no check mark after logon though the value exists")
    menu.choose("Permanent")
    wait_run_value(stage, False)
    close_from_menu(stage, runner, icon, by_key=True)


@scenario
def close(stage):
    """Close removes the icon and the hidden window and ends with 0."""
    proc, icon = dock(stage, RECORDER, "recorder")
    stage.screenshot("before-close")
    close_from_menu(stage, proc, icon)
    stage.screenshot("after-close")
    check(not stage.session.tray_icons(), "icons left in the tray after Close")
    check(not stage.main_windows(), "the hidden window outlived Close")
    check(not stage.run_values(), f"Close left Run values: {stage.run_values()}")


@scenario
def two_instances(stage):
    """Two instances, two icons; each Close removes only its own."""
    first, first_icon = dock(stage, RECORDER, "recorder")
    first_pixels = stage.icon_pixels(first_icon)
    second, second_icon = dock(stage, "", "empty tail")
    second_pixels = stage.icon_pixels(second_icon)
    stage.screenshot("two-icons")
    check(len(stage.session.tray_icons()) == 2,
          f"{len(stage.session.tray_icons())} icons docked, expected 2")
    check_other_icon(first_pixels, second_pixels, "the two instances")
    check(len(stage.main_windows()) == 2, "expected two hidden windows")

    close_from_menu(stage, first, first_icon)
    stage.screenshot("one-icon-left")
    check(second.poll() is None, f"the second instance ended ({second.poll()}) with the first")
    icons = stage.session.tray_icons()
    check([i[0] for i in icons] == [second_icon.wid], f"icons left: {icons}")
    check_same_icon(stage.icon_pixels(second_icon), second_pixels, "the icon left")
    check(len(stage.main_windows()) == 1, "expected one hidden window left")

    close_from_menu(stage, second, second_icon, by_key=True)
    check(not stage.session.tray_icons(), "icons left after both Close")


@scenario
def long_tail(stage):
    """A tail of 259 characters still docks; a longer one is refused: no
    icon, a non-zero exit code, no Run value."""
    tail = "C:\\" + "x" * (MAX_TAIL - 3)
    proc, icon = dock(stage, tail, "259 characters")
    close_from_menu(stage, proc, icon, by_key=True)

    for length in (MAX_TAIL + 1, 400):
        tail = "C:\\" + "x" * (length - 3)
        proc = stage.start_mivo(tail, f"tail-{length}")
        end = time.monotonic() + 20
        while proc.poll() is None and time.monotonic() < end:
            check(not stage.session.tray_icons(), f"a tail of {length} characters docked an icon")
            time.sleep(0.1)
        code = proc.poll()
        check(code is not None, f"Mivo with a tail of {length} characters still runs after 20 s")
        log(f"tail of {length} characters: exit code {code}")
        check(code != 0, f"Mivo with a tail of {length} characters ended with 0")
        time.sleep(1)
        check(not stage.session.tray_icons(), f"a tail of {length} characters docked an icon")
        check(not stage.main_windows(), "a refused tail left a hidden window")
        check(not stage.run_values(), f"a refused tail left Run values: {stage.run_values()}")


@scenario
def taskbar_created(stage):
    """A new taskbar ("TaskbarCreated" to all top-level windows) gets the
    icon again as it was: same picture and tip, and a left press still
    launches; the message while the icon is there adds no second one."""
    proc, icon = dock(stage, RECORDER, "recorder")
    stage.screenshot("docked")
    first_pixels = stage.icon_pixels(icon)
    check_recorder_icon(first_pixels, "the icon of a Mivo for the recorder")
    tip = stage.tip(icon)
    check(tip == RECORDER_TIP, f"the tip is {show(tip)}, expected {show(RECORDER_TIP)}")
    windows = stage.main_windows()
    check(len(windows) == 1, f"{len(windows)} windows MivoClass/Hovedvindu, expected 1")

    # A shell that starts anew knows none of the old icons.
    forget_icon(stage, icon, windows[0][0])
    stage.screenshot("icon-removed")
    check(proc.poll() is None, f"Mivo ended ({proc.poll()}) when its icon was removed")

    start = time.monotonic()
    icon = announce_taskbar(stage)
    log(f"icon docked again {time.monotonic() - start:.2f} s after the broadcast")
    stage.screenshot("docked-again")
    check_same_icon(stage.icon_pixels(icon), first_pixels, "the icon added again")
    tip = stage.tip(icon)
    check(tip == RECORDER_TIP, f"the tip after the broadcast is {show(tip)}, expected "
                               f"{show(RECORDER_TIP)}")

    stage.press(icon, 1)
    launches = launch_count_settles(stage, 1, "a left press on the icon added again")
    check_launch(launches[0], RECORDER)
    stage.session.park_pointer()

    # The icon is there: the second addition is refused, nothing changes.
    announce_taskbar(stage, expect_icon=False)
    time.sleep(1)
    icons = stage.session.tray_icons()
    check([i[0] for i in icons] == [icon.wid],
          f"after a broadcast with the icon present the tray holds {icons}, expected only "
          f"{icon.wid}")
    check_same_icon(stage.icon_pixels(icon), first_pixels, "the icon after a second broadcast")
    stage.screenshot("after-second-broadcast")

    # The icon added again is the window's icon 1000, and the only one
    # (Wine's tray drops the icons of a destroyed window by itself, so Close
    # would not tell).
    forget_icon(stage, icon, windows[0][0])
    icon = announce_taskbar(stage)
    close_from_menu(stage, proc, icon, by_key=True)


def forget_icon(stage, icon, window):
    """Deletes the icon 1000 of Mivo's window as a restarting shell forgets
    it, with the first version's 88-byte record; the tray is then empty."""
    code, pairs = stage.probe("notify-delete")
    answer = dict(pairs)
    check(answer.get("window") == window,
          f"notify-delete found the window {answer.get('window')}, expected {window}")
    check(answer.get("size") == "88",
          f"notify-delete used a record of {answer.get('size')} bytes, expected 88")
    check(code == 0 and answer.get("result") == "1",
          f"NIM_DELETE of the window's icon 1000 failed ({code}, {answer})")
    stage.wait_icon_gone(icon)
    check(not stage.session.tray_icons(), f"icons left: {stage.session.tray_icons()}")


def announce_taskbar(stage, expect_icon=True):
    """Sends "TaskbarCreated" to all top-level windows and waits until Mivo's
    window has handled it; with expect_icon, for the icon that comes back."""
    before = {icon[0] for icon in stage.session.tray_icons()}
    code, pairs = stage.probe("broadcast", "TaskbarCreated")
    check(code == 0, f"probe broadcast failed with {code}: {pairs}")
    code, pairs = stage.probe("ping")
    check(code == 0, f"Mivo's window did not answer after the broadcast: {pairs}")
    if expect_icon:
        return stage.wait_new_icon(before, "recorder, added again", timeout=10)
    return None


# ShellExecuteA as Wine traces it (WINEDEBUG=trace+exec): window, verb, file,
# parameters, directory, show command; texts as C literals or (null).
SHELL_EXECUTE_TRACE = re.compile(
    r"trace:exec:ShellExecuteA (\w+)," + ",".join([r'(\(null\)|"(?:[^"\\]|\\.)*")'] * 4)
    + r",(-?\d+)")


def traced_text(text):
    if text == "(null)":
        return None
    return re.sub(r"\\(.)", r"\1", text[1:-1])


def shell_execute_calls(proc):
    """The ShellExecuteA calls Wine traced in a process's output, each as
    (window, verb, file, parameters, directory, show), and the results of
    the shell's execution ("SHELL_execute retval N")."""
    err = proc.err_path.read_bytes().decode("latin-1")
    calls = [(int(m.group(1), 16), *(traced_text(m.group(i)) for i in range(2, 6)),
              int(m.group(6))) for m in SHELL_EXECUTE_TRACE.finditer(err)]
    results = [int(v) for v in re.findall(r"trace:exec:SHELL_execute retval (-?\d+)", err)]
    return calls, results


@scenario
def empty_tail_press(stage):
    """An empty tail: a left press asks the shell to open the empty file in
    C:\\WINDOWS; under Wine that fails and nothing opens: no new process, no
    new window; Mivo runs on with its icon."""
    proc, icon = dock(stage, "", "empty tail", debug="-all,trace+exec")
    windows = stage.main_windows()
    check(len(windows) == 1, f"{len(windows)} windows MivoClass/Hovedvindu, expected 1")
    calls, _ = shell_execute_calls(proc)
    check(not calls, f"ShellExecuteA called before any press: {calls}")
    processes = dict(stage.session.prefix_processes())
    x_windows = stage.session.top_level_windows()
    shown = visible_windows(stage)
    tray_process = [pid for pid, cmdline in processes.items() if "explorer.exe /desktop" in cmdline]

    stage.press(icon, 1)
    stage.session.park_pointer()
    wait_for("ShellExecuteA to be called", 5, lambda: shell_execute_calls(proc)[0])
    # What the call starts shows within 3 s: watched from outside Wine, so
    # that no probe counts as a new process.
    new_processes, new_x_windows = {}, {}
    end = time.monotonic() + 3
    while time.monotonic() < end:
        for pid, cmdline in stage.session.prefix_processes():
            if pid not in processes:
                new_processes[pid] = cmdline
        for wid, line in stage.session.top_level_windows().items():
            if wid not in x_windows:
                new_x_windows[wid] = line
        time.sleep(0.2)
    stage.screenshot("after-press")
    calls, results = shell_execute_calls(proc)
    log(f"ShellExecuteA calls: {calls}; the shell's results: {results}")
    log(f"new processes: {new_processes}; new X windows: {new_x_windows}")

    check(len(calls) == 1, f"{len(calls)} ShellExecuteA calls after one press, expected 1")
    window, verb, file, parameters, directory, show_command = calls[0]
    check(window == int(windows[0][0], 16),
          f"ShellExecuteA got the window {window:#x}, expected the hidden window {windows[0][0]}")
    check((verb, file, parameters, directory, show_command)
          == (None, "", None, LAUNCH_DIRECTORY, 1),
          f"ShellExecuteA got verb, file, parameters, directory, show "
          f"{(verb, file, parameters, directory, show_command)}, expected "
          f"{(None, '', None, LAUNCH_DIRECTORY, 1)}")
    check(len(results) == 1 and results[0] <= 32,
          f"the shell's execution of the empty file gave {results}, expected one failure "
          "(32 or less)")
    check(not new_processes, f"the press started processes: {new_processes}")
    # The tray's tooltip may appear under the pointer on its way to the
    # icon; its X window belongs to the tray's process.
    opened = {wid: line for wid, line in new_x_windows.items()
              if stage.session.window_pid(wid) not in tray_process}
    check(not opened, f"the press opened X windows: {opened}")
    opened = [w for w in visible_windows(stage) if w not in shown and
              w[1] != "tooltips_class32"]
    check(not opened, f"the press showed windows: {opened}")
    check(proc.poll() is None, f"Mivo ended ({proc.poll()}) after the press")
    check(icon.docked(), "the icon left the tray after the press")
    check(not stage.launches(), f"something launched the recorder: {stage.launches()}")
    close_from_menu(stage, proc, icon, by_key=True)


def visible_windows(stage, window_class="*"):
    """The visible top-level windows on the Windows side, of one class or of
    any: (handle, class, title) each."""
    code, pairs = stage.probe("windows", window_class)
    check(code == 0, f"probe windows failed with {code}")
    found = []
    for key, value in pairs:
        if key == "window":
            fields = dict(re.findall(r"(\w+)=(\S*)", "hwnd=" + value))
            found.append((fields["hwnd"], decode_escapes(fields["class"]),
                          decode_escapes(fields.get("title", ""))))
    return found


# --- Command line --------------------------------------------------------------


def run_scenario(args, paths, name):
    stage = Stage(paths, name, args.mivo, args.probe, args.recorder, log)
    stage.source = args.source
    log(f"scenario {name}: {' '.join(SCENARIOS[name].__doc__.split())}")
    start = time.monotonic()
    try:
        with stage:
            SCENARIOS[name](stage)
    except Failure as failure:
        log(f"FAILED {name} after {time.monotonic() - start:.1f} s: {failure}")
        log(f"screenshots and program output: {stage.screens}")
        return False
    log(f"passed {name} in {time.monotonic() - start:.1f} s")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--work", required=True)
    parser.add_argument("--mivo", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--recorder", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("step", choices=["setup", "cleanup", "run", "all"])
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    paths = Paths(args.work)

    for name in args.names:
        if name not in SCENARIOS:
            parser.error(f"unknown scenario {name}; known: {', '.join(SCENARIOS)}")
    if args.step in ("run", "all"):
        for path in (args.mivo, args.probe, args.recorder):
            if not Path(path).exists():
                log(f"{path} is missing: build the win32 preset first")
                return 1

    try:
        if args.step == "setup":
            Session.setup(paths, log)
            return 0
        if args.step == "cleanup":
            if paths.session_file.exists():
                Session.load(paths, check_alive=False).cleanup(log)
            return 0
        if args.step == "run":
            check(args.names, "name the scenarios to run")
            return 0 if all([run_scenario(args, paths, name) for name in args.names]) else 1
        # all: a session of its own around every scenario (or those named).
        names = args.names or list(SCENARIOS)
        start = time.monotonic()
        Session.setup(paths, log)
        try:
            results = {name: run_scenario(args, paths, name) for name in names}
        finally:
            Session.load(paths, check_alive=False).cleanup(log)
        failed = [name for name, ok in results.items() if not ok]
        log(f"{len(results) - len(failed)} passed, {len(failed)} failed"
            + (f": {', '.join(failed)}" if failed else "")
            + f" in {time.monotonic() - start:.0f} s")
        return 1 if failed else 0
    except Failure as failure:
        log(f"FAILED {args.step}: {failure}")
        return 1


if __name__ == "__main__":
    sys.exit(main())
