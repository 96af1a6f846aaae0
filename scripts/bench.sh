#!/usr/bin/env bash
# The footprint benchmark (not a test):  scripts/bench.sh [--runs N] [--idle S] [--tail FILE]
# Builds Mivo.exe and the yardstick bench_tray.exe (the least program that
# shows the same icon: FindExecutableA and ExtractIconExA, no C runtime), then
# under Wine, in a virtual display with a tray, times each from its start to
# its icon docked (30 rounds, in turn), and prints their medians and
# quartiles, the ratio with its 95% interval, Mivo.exe's size and imports,
# and the CPU ticks an idle Mivo uses in 10 s.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"

mivo_install_packages
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target Mivo >/dev/null
mkdir -p build/bench
# Its own icon, for a file with none: Mivo's picture, as resource 1.
echo "1 ICON \"$MIVO_ROOT/resources/mivo.ico\"" >build/bench/bench_tray.rc
i686-w64-mingw32-windres build/bench/bench_tray.rc -O coff -o build/bench/bench_tray.res
i686-w64-mingw32-gcc -Wall -Wextra -Os -s -mwindows -nostdlib -nostartfiles -Wl,-e,_bench_entry@0 \
  scripts/bench_tray.c build/bench/bench_tray.res -o build/bench/bench_tray.exe \
  -lkernel32 -luser32 -lshell32
exec timeout 1800 /usr/bin/python3 scripts/bench.py --mivo build/win32/Mivo.exe \
  --yardstick build/bench/bench_tray.exe --work build/bench "$@"
