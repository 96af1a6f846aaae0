#!/usr/bin/env bash
# The footprint benchmark (not a test): for the release build, the size of
# Mivo.exe and the DLLs it imports; under Wine, the time from its start to
# its icon docked in an X system tray, against the start and end of a
# minimal Win32 program (median of 10 runs each, in turn); and the CPU time
# of an idle Mivo over 10 seconds.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

build="$root/build/win32"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target Mivo probe mivo_recorder minimal >/dev/null

exe="$build/Mivo.exe"
objdump=objdump
command -v i686-w64-mingw32-objdump >/dev/null && objdump=i686-w64-mingw32-objdump

echo "Mivo.exe: $(stat -c %s "$exe") bytes"
echo "imports: $("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"

python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3
timeout 600 "$python" "$root/tests/e2e/bench.py" --work "$build/bench" \
  --mivo "$exe" --minimal "$build/tests/e2e/minimal.exe" \
  --recorder "$build/tests/e2e/mivo_recorder.exe" --probe "$build/tests/e2e/probe.exe" \
  --runs 10 --idle 10
