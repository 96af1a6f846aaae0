#!/usr/bin/env bash
# Builds the release and packs it for Windows users:
#   dist/Mivo-<version>.zip  Mivo.exe, Mivo help.txt and README.txt
#   dist/SHA256SUMS          SHA-256 of the archive and of Mivo.exe
# README.txt is the users' part of README.md as plain text. The same sources
# give the same archive, byte for byte: fixed file times, modes and order.
#   scripts/release.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"

export TZ=UTC LC_ALL=C
FILE_TIME='2026-01-01 00:00:00 UTC'

version=$(sed -n 's/^#define MIVO_VERSION_TEXT "\([^"]*\)".*/\1/p' resources/resource.h)
if [ -z "$version" ]; then
  mivo_log "no MIVO_VERSION_TEXT in resources/resource.h"
  exit 1
fi
archive="dist/Mivo-$version.zip"

mivo_install_packages
# A build folder of its own, made afresh: nothing cached from an earlier
# configuration (another compiler, say) can reach the release.
build=build/release
mivo_log "building Mivo.exe (win32 preset) in $build"
rm -rf "$build"
cmake --preset win32 -B "$build" >/dev/null
cmake --build "$build" --target Mivo -j"$(nproc)" >/dev/null

# README.md between its user-part markers, as plain text with CR LF: no
# Markdown marks, code blocks indented by two blanks, headings underlined.
readme_text() {
  python3 - "$version" <<'EOF'
import re
import sys

version = sys.argv[1]
with open("README.md", encoding="utf-8") as f:
    markdown = f.read()
start = markdown.index("<!-- user-part-start -->\n") + len("<!-- user-part-start -->\n")
end = markdown.index("<!-- user-part-end -->")
lines = markdown[start:end].strip("\n").split("\n")


def plain(text):
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    text = re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"\1", text)
    text = re.sub(r"\[([^\]]*)\]\(([^)]*)\)", r"\1 (\2)", text)
    return re.sub(r"\\([\\`*_{}\[\]()#+.!-])", r"\1", text)


def inline(text):
    # Code spans are taken as they are; only the text around them has marks.
    parts = re.split(r"`([^`]*)`", text)
    return "".join(part if i % 2 else plain(part) for i, part in enumerate(parts))


title = f"Mivo {version}"
out = [title, "=" * len(title), ""]
previous_blank = True
in_code = False
for line in lines:
    if line.startswith("!["):
        continue
    if line.strip() == "":
        in_code = False
        out.append("")
    elif line.startswith("    ") and (previous_blank or in_code):
        in_code = True
        out.append("  " + line[4:])
    elif line.startswith("#"):
        heading = inline(line.lstrip("#").strip())
        out += [heading, "-" * len(heading)]
    else:
        out.append(inline(line))
    previous_blank = line.strip() == ""
text = "\r\n".join(out).rstrip("\r\n") + "\r\n"
text = re.sub(r"(\r\n){3,}", "\r\n\r\n", text)
sys.stdout.buffer.write(text.encode("ascii"))
EOF
}

# The program itself keeps the promises the texts make: it starts on
# Windows 95, imports from the five system DLLs only, runs on a 386, and
# fits its size. A build that breaks one is not released.
/usr/bin/python3 scripts/check_exe.py "$build/Mivo.exe" resources/mivo.ico >&2 ||
  { mivo_log "$build/Mivo.exe fails scripts/check_exe.py: not released"; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$build/Mivo.exe" "$stage/Mivo.exe"
cp "resources/Mivo help.txt" "$stage/Mivo help.txt"
readme_text >"$stage/README.txt"
chmod 0644 "$stage"/*
touch -d "$FILE_TIME" "$stage"/*

# The texts a Windows user opens are plain ASCII with CR LF at every line
# end: the Notepad of Windows 95 to 10 1803 shows a lone LF as no line end,
# and a code page turns anything beyond ASCII into something else. The
# first line at fault is named.
for file in "Mivo help.txt" README.txt; do
  python3 - "$stage/$file" <<'EOF' || { mivo_log "$file: not plain ASCII with CR LF line ends"; exit 1; }
import sys
lines = open(sys.argv[1], "rb").read().split(b"\r\n")
bad = [n for n, line in enumerate(lines, 1) if not line.isascii() or b"\r" in line or b"\n" in line]
if bad or lines[-1]:
    n = bad[0] if bad else len(lines)
    sys.exit(f"line {n}: {lines[n - 1][:60]!r}")
EOF
done

mkdir -p dist
rm -f "$archive" dist/SHA256SUMS
# -X: no owner or extra time fields; -D: no folder entries. The order is
# the one given here.
(cd "$stage" && zip -q -X -D -9 "$MIVO_ROOT/$archive" Mivo.exe "Mivo help.txt" README.txt)
touch -d "$FILE_TIME" "$archive"

{
  (cd dist && sha256sum "${archive#dist/}")
  (cd "$stage" && sha256sum Mivo.exe)
} >dist/SHA256SUMS

# What was packed must come out unchanged.
mkdir "$stage/check"
unzip -q "$archive" -d "$stage/check"
for file in Mivo.exe "Mivo help.txt" README.txt; do
  cmp "$stage/$file" "$stage/check/$file"
done

mivo_log "$archive: $(stat -c %s "$archive") bytes"
cat dist/SHA256SUMS
