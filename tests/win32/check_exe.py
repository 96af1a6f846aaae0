#!/usr/bin/env python3
"""Checks the built Mivo.exe: a 32-bit Windows GUI program that needs only
system DLLs and carries its icon and version block as they must be.

Usage: check_exe.py MIVO_EXE [ICON_FILE]
With ICON_FILE (resources/mivo.ico) the icon image in the program must be
the one in that file, byte for byte. Every failed check is printed; the exit
code is 1 when one failed, 0 when all passed.
"""

import os
import struct
import sys

try:
    import pefile
except ImportError:
    print("check_exe.py needs the pefile module (Debian: python3-pefile)", file=sys.stderr)
    sys.exit(1)

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "gdi32.dll", "advapi32.dll",
               "msvcrt.dll"}

# The version block, field by field.
FIXED_FILE_INFO = {
    "signature": 0xFEEF04BD,
    "struct_version": 0x00010000,
    "file_version_ms": 0x00020000,
    "file_version_ls": 0,
    "product_version_ms": 0x00020000,
    "product_version_ls": 0,
    "file_flags_mask": 0,
    "file_flags": 0,
    "file_os": 0x40004,  # VOS_NT_WINDOWS32
    "file_type": 1,  # VFT_APP
    "file_subtype": 0,
    "file_date_ms": 0,
    "file_date_ls": 0,
}
STRING_TABLE = "040904E4"
REQUIRED_STRINGS = {
    "FileDescription": "Win95 Applet to 'mivo' applications",
    "FileVersion": "2.00",
    "InternalName": "Mivo",
    "OriginalFilename": "Mivo.exe",
}
# Entries the block may carry besides: the maker and the legal notice.
OPTIONAL_STRINGS = {"CompanyName", "LegalCopyright"}
TRANSLATION = (0x0409, 0x04E4)
# What the program should not outgrow; a larger one is reported, not failed.
SIZE_GOAL = 24 * 1024

failures = []


def check(condition, message):
    if condition:
        print("ok:     " + message)
    else:
        print("FAILED: " + message)
        failures.append(message)


def resources_of_type(pe, type_id):
    """{name or id: data} of the resources of one type, any language."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != type_id:
            continue
        for name_entry in type_entry.directory.entries:
            key = name_entry.id if name_entry.name is None else str(name_entry.name)
            for language_entry in name_entry.directory.entries:
                data = language_entry.data.struct
                found[key] = pe.get_data(data.OffsetToData, data.Size)
    return found


def version_node(data, offset):
    """One node of the version tree: (key, value bytes, value type, children
    as (offset, end) of the node's whole extent)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_start = offset + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[position:position + value_size]
    position = (position + value_size + 3) & ~3
    children = []
    while position < end:
        child_length = struct.unpack_from("<H", data, position)[0]
        if child_length == 0:
            break
        children.append(position)
        position = (position + child_length + 3) & ~3
    return key, value, value_type, children


def check_header(pe):
    check(pe.FILE_HEADER.Machine == IMAGE_FILE_MACHINE_I386,
          f"machine i386 (found 0x{pe.FILE_HEADER.Machine:X})")
    check(pe.OPTIONAL_HEADER.Magic == PE32_MAGIC,
          f"PE32, not PE32+ (found magic 0x{pe.OPTIONAL_HEADER.Magic:X})")
    check(pe.is_exe() and not pe.is_dll(), "an executable, not a DLL")
    check(pe.OPTIONAL_HEADER.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI,
          f"subsystem Windows GUI (found {pe.OPTIONAL_HEADER.Subsystem})")


def check_imports(pe):
    dlls = [entry.dll.decode("ascii") for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    print("imports from: " + ", ".join(dlls))
    strangers = [dll for dll in dlls if dll.lower() not in SYSTEM_DLLS]
    check(not strangers, "imports only from system DLLs"
          + (f" (also from {', '.join(strangers)})" if strangers else ""))
    check(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "no delay-loaded imports")


def check_version(pe):
    blocks = resources_of_type(pe, RT_VERSION)
    check(list(blocks) == [1], f"one version block, number 1 (found {list(blocks)})")
    if 1 not in blocks:
        return
    data = blocks[1]
    key, value, _, children = version_node(data, 0)
    check(key == "VS_VERSION_INFO", f"version block key VS_VERSION_INFO (found {key!r})")
    check(len(value) == 52, f"fixed file information of 52 bytes (found {len(value)})")
    if len(value) == 52:
        fields = dict(zip(FIXED_FILE_INFO, struct.unpack("<13I", value)))
        for name, wanted in FIXED_FILE_INFO.items():
            check(fields[name] == wanted,
                  f"{name} 0x{wanted:X}" + ("" if fields[name] == wanted
                                            else f" (found 0x{fields[name]:X})"))

    sections = {}
    for child in children:
        sections.setdefault(version_node(data, child)[0], []).append(child)
    check(sorted(sections) == ["StringFileInfo", "VarFileInfo"]
          and all(len(v) == 1 for v in sections.values()),
          f"one StringFileInfo and one VarFileInfo (found {sorted(sections)})")

    for child in sections.get("StringFileInfo", [])[:1]:
        tables = [version_node(data, t) for t in version_node(data, child)[3]]
        names = [table[0] for table in tables]
        check(names == [STRING_TABLE], f"one string table {STRING_TABLE} (found {names})")
        for table_key, _, _, entries in tables[:1]:
            strings = {}
            for entry in entries:
                name, text, text_type, _ = version_node(data, entry)
                check(text_type == 1 and text.endswith(b"\0\0"),
                      f"{name}: text with its terminating NUL")
                strings[name] = text.decode("utf-16-le").rstrip("\0")
            for name, wanted in REQUIRED_STRINGS.items():
                check(strings.get(name) == wanted,
                      f"{name} {wanted!r}" + ("" if strings.get(name) == wanted
                                              else f" (found {strings.get(name)!r})"))
            extra = sorted(set(strings) - set(REQUIRED_STRINGS) - OPTIONAL_STRINGS)
            check(not extra, "no entries beyond the named ones, so no ProductName or "
                  "ProductVersion" + (f" (found {extra})" if extra else ""))
            for name in sorted(set(strings) & OPTIONAL_STRINGS):
                print(f"        {name}: {strings[name]!r}")

    for child in sections.get("VarFileInfo", [])[:1]:
        variables = [version_node(data, v) for v in version_node(data, child)[3]]
        names = [variable[0] for variable in variables]
        check(names == ["Translation"], f"VarFileInfo holds Translation only (found {names})")
        for _, value, _, _ in variables[:1]:
            pairs = struct.unpack(f"<{len(value) // 2}H", value)
            check(pairs == TRANSLATION, "translation 0x%04X, 0x%04X" % TRANSLATION
                  + ("" if pairs == TRANSLATION
                     else " (found " + ", ".join(f"0x{p:04X}" for p in pairs) + ")"))


def check_icon(pe, icon_file):
    groups = resources_of_type(pe, RT_GROUP_ICON)
    icons = resources_of_type(pe, RT_ICON)
    check(list(groups) == [1], f"one icon group, number 1 (found {list(groups)})")
    check(len(icons) == 1, f"one icon image in the program (found {len(icons)})")
    if 1 not in groups:
        return
    group = groups[1]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    check((reserved, kind, count) == (0, 1, 1), f"icon group of one icon (found {count})")
    if count < 1 or len(group) < 6 + 14:
        return
    width, height, colours, _, planes, bits, size, image_id = struct.unpack_from(
        "<BBBBHHIH", group, 6)
    check((width, height) == (32, 32), f"group entry 32x32 (found {width}x{height})")
    check((colours, planes, bits) == (16, 1, 4),
          f"group entry 16 colours, 1 plane, 4 bits (found {colours}, {planes}, {bits})")
    image = icons.get(image_id)
    check(image is not None, f"icon image {image_id} present")
    if image is None:
        return
    check(len(image) == size, f"icon image of {size} bytes as the group says (found {len(image)})")
    header = struct.unpack_from("<IiiHHI", image, 0)
    check(header == (40, 32, 64, 1, 4, 0),
          f"image 32x32, 4 bits, colour bitmap and mask, uncompressed (found {header})")
    if icon_file:
        with open(icon_file, "rb") as source:
            ico = source.read()
        _, _, ico_count = struct.unpack_from("<HHH", ico, 0)
        ico_size, ico_offset = struct.unpack_from("<II", ico, 6 + 8)
        check(ico_count == 1 and image == ico[ico_offset:ico_offset + ico_size],
              f"icon image is the one in {os.path.basename(icon_file)}")


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    exe = argv[1]
    pe = pefile.PE(exe)
    check_header(pe)
    check_imports(pe)
    check_version(pe)
    check_icon(pe, argv[2] if len(argv) == 3 else None)
    size = os.path.getsize(exe)
    print(f"size of {os.path.basename(exe)}: {size} bytes ({size / 1024:.1f} KiB, "
          + ("within" if size <= SIZE_GOAL else "OVER") + f" the goal of {SIZE_GOAL // 1024} KiB)")
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
