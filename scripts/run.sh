#!/usr/bin/env bash
# Runs Mivo under Wine:  scripts/run.sh [TAIL]
# TAIL is Mivo's command tail (default C:\windows\notepad.exe); it is split
# at blanks into Wine's arguments, which Wine joins again with one blank.
# With a display ($DISPLAY set) Mivo uses it. Without one, Mivo runs in a
# virtual display with trayer as the system tray, and once the icon is
# docked the tray, enlarged, is saved to build/run/tray.png. Runs until Mivo
# is closed from its menu or the script is interrupted.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT" || exit 1

mivo_install_packages || exit 1
mivo_build win32 >/dev/null || { mivo_log "the Windows build failed"; exit 1; }
mkdir -p build/run

if [ -z "${DISPLAY:-}" ]; then
  exec /usr/bin/python3 scripts/docs_images.py run "$@"
fi

mivo_wine_prefix || exit 1
[ $# -gt 0 ] || set -- 'C:\windows\notepad.exe'
mivo_log "starting Mivo $* on $DISPLAY"
WINEPREFIX="$MIVO_WINEPREFIX" wine build/win32/Mivo.exe "$@" >build/run/mivo.out 2>build/run/mivo.err &
mivo_pid=$!
trap 'kill "$mivo_pid" 2>/dev/null; exit 130' INT TERM
wait "$mivo_pid"
code=$?
mivo_log "Mivo ended with exit code $code"
exit $code
