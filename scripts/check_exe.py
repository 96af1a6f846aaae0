#!/usr/bin/env python3
# Checks a built Mivo.exe: headers that the loader of Windows 95 takes,
# exactly the expected imports, the icon, the version block, the manifest,
# code for the 386 only, and the size. Every difference is printed; exit 1
# when any. The Windows tier runs it on every build, and release.sh on the
# build it packs.
# Usage: check_exe.py MIVO_EXE MIVO_ICO
import os, pathlib, re, shutil, struct, subprocess, sys, pefile  # noqa: E401
from xml.etree import ElementTree

# The one statement of what Mivo.exe imports: per DLL, every function, each
# one that the system DLLs of Windows 95 export.
IMPORTS = {
    "ADVAPI32.DLL": "RegCloseKey RegCreateKeyExA RegDeleteValueA RegOpenKeyExA RegQueryValueExA "
                    "RegSetValueExA",
    "GDI32.DLL": "GetStockObject",
    "KERNEL32.DLL": "ExitProcess ExpandEnvironmentStringsA GetACP GetCommandLineA GetModuleFileNameA "
                    "GetModuleHandleA GetProcAddress GetSystemDirectoryA GetWindowsDirectoryA "
                    "LoadLibraryA Sleep",
    "SHELL32.DLL": "ExtractIconExA FindExecutableA SHGetFileInfoA ShellExecuteA Shell_NotifyIconA",
    "USER32.DLL": "AppendMenuA CharLowerA CharNextA CharUpperBuffA CheckMenuItem CopyIcon "
                  "CreatePopupMenu CreateWindowExA DefWindowProcA DestroyIcon DestroyMenu "
                  "DestroyWindow DispatchMessageA GetCursorPos GetMessageA GetSystemMetrics "
                  "KillTimer LoadCursorA LoadImageA MessageBoxA MessageBoxIndirectA PostMessageA "
                  "PostQuitMessage RegisterClassA RegisterWindowMessageA SetForegroundWindow "
                  "SetMenuDefaultItem SetTimer TrackPopupMenu TranslateMessage UnregisterClassA"}
# PE32 for the i386, a Windows GUI program for Windows 4.0, at the usual base
# and alignments; without relocations, so it must not ask to be moved.
HEADER = {"Machine": 0x14C, "Magic": 0x10B, "Subsystem": 2,
          "MajorSubsystemVersion": 4, "MinorSubsystemVersion": 0,
          "MajorOperatingSystemVersion": 4, "MinorOperatingSystemVersion": 0,
          "ImageBase": 0x400000, "SectionAlignment": 0x1000, "FileAlignment": 0x200,
          "IMAGE_FILE_RELOCS_STRIPPED": True, "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE": False}
# Three, so that their headers fit in the file's first 0x200 bytes; so no
# .reloc, .tls, .CRT, .eh_frame, .pdata, .xdata or debug sections either.
SECTIONS = [".text", ".bss", ".rsrc"]
FIXED_FILE_INFO = {"FileVersionMS": 0x20000, "FileVersionLS": 0, "ProductVersionMS": 0x20000,
                   "ProductVersionLS": 0, "FileFlagsMask": 0, "FileFlags": 0, "FileOS": 0x40004,
                   "FileType": 1, "FileSubtype": 0, "FileDateMS": 0, "FileDateLS": 0}
ANY = "(some text)"
STRINGS = {"FileDescription": "Win95 Applet to 'mivo' applications", "FileVersion": "2.00",
           "InternalName": "Mivo", "OriginalFilename": "Mivo.exe", "CompanyName": ANY,
           "LegalCopyright": ANY, "Comments": ANY, "Contact": ANY}
# Instructions of later processors, and MMX or SSE registers.
NOT_386 = re.compile(r"\b(f?cmov\w*|fu?com(i|ip|pi)|bswap|cmpxchg\w*|xadd\w?|cpuid|rdtsc\w*"
                     r"|invlpg|wbinvd|sysenter)\b|%[xyz]?mm\d")
MAX_SIZE = 12288
# The manifest, in the namespaces Windows reads: never elevated, system DPI
# aware, UTF-8 as code page (the text is case-sensitive), for Vista, 7, 8,
# 8.1 and 10/11, with Common Controls 6. Each path finds exactly one element
# under the root.
NS = {"": "urn:schemas-microsoft-com:asm.v1", "s": "urn:schemas-microsoft-com:asm.v2",
      "w": "urn:schemas-microsoft-com:asm.v3", "c": "urn:schemas-microsoft-com:compatibility.v1",
      "d": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
      "u": "http://schemas.microsoft.com/SMI/2019/WindowsSettings"}
MANIFEST = [
    "s:trustInfo/s:security/s:requestedPrivileges/s:requestedExecutionLevel[@level='asInvoker']",
    "w:application/w:windowsSettings/d:dpiAware[.='true']",
    "w:application/w:windowsSettings/u:activeCodePage[.='UTF-8']",
    "dependency/dependentAssembly/assemblyIdentity[@name='Microsoft.Windows.Common-Controls']"
    "[@version='6.0.0.0']"] + [
    f"c:compatibility/c:application/c:supportedOS[@Id='{{{guid}}}']" for guid in (
        "e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a "
        "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 "
        "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a").split()]

failures = []


def expect(what, found, wanted):
    # Of records, each entry that differs is named.
    if isinstance(wanted, dict):
        for key in sorted(set(found) | set(wanted)):
            expect(f"{what} {key}", found.get(key), wanted.get(key))
    elif found != wanted:
        show = lambda v: hex(v) if type(v) is int else repr(v)  # noqa: E731
        failures.append(f"{what}: found {show(found)}, expected {show(wanted)}")


def check_headers_and_imports(pe):
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    expect("header", {k: getattr(oh, k, getattr(fh, k, None)) for k in HEADER}, HEADER)
    # So no relocations, TLS, delayed imports or debug data either.
    present = sorted(d.name.split("_ENTRY_")[1] for d in oh.DATA_DIRECTORY if d.Size)
    expect("data directories", present, ["IAT", "IMPORT", "RESOURCE"])
    expect("sections", [s.Name.rstrip(b"\0").decode("latin-1") for s in pe.sections], SECTIONS)
    dlls = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    found = {f"{entry.dll.decode('latin-1').upper()}!"
             + (i.name.decode() if i.name else f"#{i.ordinal}")
             for entry in dlls for i in entry.imports}
    wanted = {f"{dll}!{f}" for dll, fs in IMPORTS.items() for f in fs.split()}
    expect("import", dict.fromkeys(found, "imported"), dict.fromkeys(wanted, "imported"))
    # The loader makes the address tables writable through the IAT directory.
    iat = oh.DATA_DIRECTORY[12]
    expect("address table beyond the IAT directory", [e.dll for e in dlls if not iat.VirtualAddress
           <= e.struct.FirstThunk <= iat.VirtualAddress + iat.Size - 4 * len(e.imports) - 4], [])


def resources(pe, type_id):
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    return {e.id: pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
            for kind in (root.entries if root else []) if kind.id == type_id
            for e in kind.directory.entries for lang in e.directory.entries}


def check_icon(pe, ico_path):
    # Icon group 1 and the .ico file: a count, then entries of width, height
    # and colours first; the group's 14-byte entries end with the image's
    # number, the file's 16-byte ones with the image's size and place.
    ico, group = pathlib.Path(ico_path).read_bytes(), resources(pe, 14).get(1, bytes(6))
    found = sorted((*group[6 + 14 * i:][:3], resources(pe, 3).get(group[18 + 14 * i]))
                   for i in range(group[4]))
    wanted = sorted((*ico[6 + 16 * i:][:3], ico[o:][:n]) for i in range(ico[4])
                    for n, o in [struct.unpack_from("<II", ico, 14 + 16 * i)])
    expect(f"icon group 1: width, height, colours; images as in {ico_path}",
           ([f[:3] for f in found], found == wanted), ([(16, 16, 16), (32, 32, 16)], True))


def check_version(pe):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", [None])[0]
    expect("version", {k: getattr(fixed, k, None) for k in FIXED_FILE_INFO}, FIXED_FILE_INFO)
    blocks = sum(getattr(pe, "FileInfo", []), [])
    # One string table, U.S. English in Windows Latin-1, and its entries.
    found = {f"{t.LangID.decode().upper()} {k.decode()}": v.decode() for b in blocks
             for t in getattr(b, "StringTable", []) for k, v in t.entries.items()}
    wanted = {"040904E4 " + k: v for k, v in STRINGS.items()}
    expect("version string", {k: ANY if v and wanted.get(k) == ANY else v
                              for k, v in found.items()}, wanted)
    pairs = [(v.ValueLength, v.entry.get(b"Translation")) for b in blocks
             for v in getattr(b, "Var", [])]
    expect("translation (bytes, pair)", pairs, [(4, "0x0409 0x04e4")])


def check_manifest(pe):
    try:
        root = ElementTree.fromstring(resources(pe, 24).get(1, b"(none)"))
    except ElementTree.ParseError as error:
        return expect("manifest 1 as XML", str(error), "well-formed")
    # Unprefixed names are in asm.v1, the namespace the root must declare.
    found = [path for path in MANIFEST if len(root.findall(path, NS)) != 1]
    expect("manifest paths without exactly one element", found, [])


def check_instructions(exe):
    objdump = [shutil.which("i686-w64-mingw32-objdump") or "objdump", "-d", exe]
    listing = subprocess.run(objdump, capture_output=True, text=True)
    code = [line.strip() for line in listing.stdout.splitlines() if line.count("\t") >= 2]
    expect("objdump -d lists instructions", bool(code) and not listing.returncode, True)
    bad = [line for line in code if NOT_386.search(line.split("\t", 2)[2])]
    expect("instructions a 386 lacks (the first ten)", bad[:10], [])


def main(exe, ico_path):
    pe = pefile.PE(exe)
    check_headers_and_imports(pe)
    check_version(pe)
    check_icon(pe, ico_path)
    check_manifest(pe)
    check_instructions(exe)
    expect(f"size at most {MAX_SIZE} bytes", os.path.getsize(exe) <= MAX_SIZE, True)
    print(f"{exe}: {os.path.getsize(exe)} bytes")
    print("\n".join("FAILED: " + failure for failure in failures) or "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]) if len(sys.argv) == 3 else "usage: check_exe.py EXE ICO")
