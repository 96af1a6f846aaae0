#!/usr/bin/env bash
# Builds the release Mivo.exe twice, each time from a fresh copy of the source
# tree in a folder of another name and length, and checks that the two files
# are the same byte for byte: no time stamp and no build folder may reach the
# program file.
#
# Usage: reproducible.sh SOURCE_DIR WORK_DIR [CMAKE]
set -euo pipefail

source_dir=$(cd "$1" && pwd)
work=$2
cmake=${3:-cmake}
copies=(a "second-copy-in-a-folder-with-a-longer-name")

# The tree as it stands, uncommitted changes included, without build output.
list_sources() {
  if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$source_dir" ls-files -z --cached --others --exclude-standard
  else
    (cd "$source_dir" && find . \( -path ./build -o -path ./dist -o -path ./.git \) -prune \
      -o -type f -print0)
  fi
}

copy_tree() {
  local dest="$1" path
  mkdir -p "$dest"
  list_sources | while IFS= read -r -d '' path; do
    path=${path#./}
    case "$path" in build/* | dist/*) continue ;; esac
    # A file deleted from the work tree but still in the index is skipped.
    [ -f "$source_dir/$path" ] && printf '%s\0' "$path"
  done | (cd "$source_dir" && tar --null -T - -cf -) | tar -xf - -C "$dest"
}

rm -rf "$work"
mkdir -p "$work"
for name in "${copies[@]}"; do
  tree="$work/$name"
  echo "== copy and build in $tree"
  copy_tree "$tree"
  timeout 600 "$cmake" -S "$tree" -B "$tree/build" \
    --toolchain "$tree/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >"$tree.configure.log" 2>&1 ||
    { cat "$tree.configure.log"; echo "configure failed in $tree"; exit 1; }
  timeout 1200 "$cmake" --build "$tree/build" --target Mivo -j2 >"$tree.build.log" 2>&1 ||
    { cat "$tree.build.log"; echo "build failed in $tree"; exit 1; }
done

first="$work/${copies[0]}/build/Mivo.exe"
second="$work/${copies[1]}/build/Mivo.exe"
sha256sum "$first" "$second"
if ! cmp -s "$first" "$second"; then
  echo "the two builds differ (offset, octal bytes of each):"
  cmp -l "$first" "$second" | head -n 20 || true
  exit 1
fi
for folder in "$source_dir" "$work"; do
  if grep -q -a -F "$folder" "$first"; then
    echo "Mivo.exe holds the folder $folder"
    exit 1
  fi
done
echo "the two builds are identical ($(stat -c %s "$first") bytes)"
rm -rf "$work"
