#!/usr/bin/env python3
"""Checks the help file that the Quick help box names.

Usage: check_help.py RESOURCES_DIR MENU_SOURCE

The file's name is taken from the Quick help text in MENU_SOURCE, and the
menu items from its AppendMenuA calls, so that a renamed item or file shows
here. The file must suit the oldest Notepad: ASCII only, every line ended
by CR LF, no line longer than 76 characters.
"""
import os
import re
import sys

MAX_LINE = 76
# The items a user must find explained, whatever the source says.
REQUIRED_ITEMS = ["About", "Quick help", "Permanent", "Close"]

failures = []


def check(condition, message):
    print(("ok:     " if condition else "FAILED: ") + message)
    if not condition:
        failures.append(message)


def named_help_file(menu_source):
    match = re.search(r'Please see the file (.+?) for more details', menu_source)
    return match.group(1) if match else None


def menu_texts(menu_source):
    texts = re.findall(r'AppendMenuA\([^;]*?"((?:[^"\\]|\\.)*)"\s*\)', menu_source)
    return [t.replace("&", "") for t in texts if t]


def check_bytes(data):
    bad = [i for i, b in enumerate(data) if b > 0x7E or (b < 0x20 and b not in (0x0D, 0x0A))]
    check(not bad, "ASCII only, no control characters but CR and LF"
          + (f" (first stray byte 0x{data[bad[0]]:02X} at offset {bad[0]})" if bad else ""))

    bare_lf = [i for i, b in enumerate(data) if b == 0x0A and (i == 0 or data[i - 1] != 0x0D)]
    bare_cr = [i for i, b in enumerate(data)
               if b == 0x0D and (i + 1 >= len(data) or data[i + 1] != 0x0A)]
    first_lf_line = data[:bare_lf[0]].count(b"\n") + 1 if bare_lf else 0
    check(not bare_lf, "no LF without a CR before it"
          + (f" (first at line {first_lf_line})" if bare_lf else ""))
    check(not bare_cr, "no CR without an LF after it"
          + (f" (first at offset {bare_cr[0]})" if bare_cr else ""))
    check(data.endswith(b"\r\n"), "the last line ends with CR LF")

    lines = data.split(b"\r\n")
    long_lines = [n + 1 for n, line in enumerate(lines) if len(line) > MAX_LINE]
    check(not long_lines, f"no line longer than {MAX_LINE} characters"
          + (f" (lines {long_lines[:10]})" if long_lines else ""))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    resources, menu_path = sys.argv[1], sys.argv[2]
    with open(menu_path, encoding="latin-1") as f:
        menu_source = f.read()

    name = named_help_file(menu_source)
    check(name is not None, "the Quick help text names a help file")
    if name is None:
        return 1
    path = os.path.join(resources, name)
    check(os.path.isfile(path), f"'{name}' is in {resources}")
    if not os.path.isfile(path):
        return 1
    with open(path, "rb") as f:
        data = f.read()
    check(len(data) > 0, "the help file is not empty")
    check_bytes(data)

    text = data.decode("latin-1")
    items = menu_texts(menu_source)
    check(len(items) >= len(REQUIRED_ITEMS),
          f"the menu's items found in the source: {items}")
    for item in sorted(set(REQUIRED_ITEMS + items)):
        check(item in text, f"the help file mentions the menu item '{item}'")
    for syntax in ["Mivo <filename>[,<iconfile>[#no]]"]:
        check(syntax in text, f"the help file gives the syntax '{syntax}'")

    print(f"{len(failures)} check(s) failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
