#!/usr/bin/env bash
# Builds Mivo.exe twice, each from a fresh copy of the tree (uncommitted
# changes included) in a folder of another name and length, and checks that
# the two files are the same byte for byte and name neither folder.
#   reproducible.sh SOURCE_DIR WORK_DIR [CMAKE]
set -euo pipefail
src=$(cd "$1" && pwd) work=$2 cmake=${3:-cmake}
rm -rf "$work"
for name in a second-copy-in-a-folder-with-a-longer-name; do
  tree="$work/$name"
  mkdir -p "$tree"
  (cd "$src" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 sh -c 'for f; do [ -f "$f" ] && printf "%s\0" "$f"; done' - |
    tar --null -T - -cf -) | tar -xf - -C "$tree"
  "$cmake" -S "$tree" -B "$tree/build" --toolchain "$tree/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >"$tree.log" 2>&1 &&
    "$cmake" --build "$tree/build" --target Mivo -j2 >>"$tree.log" 2>&1 ||
    { cat "$tree.log"; exit 1; }
done
first=$work/a/build/Mivo.exe second=$work/second-copy-in-a-folder-with-a-longer-name/build/Mivo.exe
sha256sum "$first" "$second"
cmp "$first" "$second"
! grep -a -q -e "$src" -e "$work" "$first" || { echo "Mivo.exe names a build folder"; exit 1; }
echo "the two builds are identical ($(stat -c %s "$first") bytes)"
rm -rf "$work"
