#!/usr/bin/env bash
# Runs Mivo under Wine:  scripts/run.sh [TAIL]
# TAIL is Mivo's command tail (default C:\windows\notepad.exe); it is split
# at blanks into Wine's arguments, which Wine joins again with one blank.
# With a display ($DISPLAY set) Mivo uses it. Without one, a virtual display
# with trayer as the system tray is started, and once the icon is docked a
# screenshot of the tray is saved to build/run/tray.png. Runs until Mivo is
# closed from its menu or the script is interrupted.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"

tail_words=("$@")
[ ${#tail_words[@]} -gt 0 ] || tail_words=('C:\windows\notepad.exe')

mivo_install_packages || exit 1
mivo_build win32 >/dev/null || { mivo_log "the Windows build failed"; exit 1; }
mkdir -p build/run
mivo_wine_prefix "$MIVO_ROOT/build/run/wineprefix" || exit 1

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  WINEPREFIX="$MIVO_ROOT/build/run/wineprefix" timeout 20 wineserver -k 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local deadline=$((SECONDS + $1)) what="$2"
  shift 2
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || { mivo_log "gave up waiting for $what"; return 1; }
    sleep 0.2
  done
}

panel_window() {
  xwininfo -root -tree 2>/dev/null |
    sed -nE 's/^ *(0x[0-9a-f]+) "panel": \("panel" "trayer"\).*/\1/p' | head -n 1
}
has_panel() { [ -n "$(panel_window)" ]; }
icon_docked() {
  local panel
  panel=$(panel_window)
  [ -n "$panel" ] && xwininfo -children -id "$panel" | grep -qE '^ +0x[0-9a-f]+ .* [2-9][0-9]*x[2-9]'
}

virtual=0
if [ -z "${DISPLAY:-}" ]; then
  virtual=1
  for n in $(seq 90 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  export DISPLAY=":$n"
  Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >build/run/xvfb.log 2>&1 &
  pids+=($!)
  wait_until 15 "Xvfb on $DISPLAY" xdpyinfo || exit 1
  trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
    --transparent false --tint 0x808080 >build/run/trayer.log 2>&1 &
  pids+=($!)
  wait_until 15 "trayer's panel" has_panel || exit 1
  mivo_log "virtual display $DISPLAY with trayer as the tray"
fi

mivo_log "starting Mivo ${tail_words[*]}"
wine build/win32/Mivo.exe "${tail_words[@]}" >build/run/mivo.log 2>&1 &
mivo_pid=$!
pids+=($mivo_pid)

if [ $virtual -eq 1 ]; then
  if wait_until 60 "the icon to dock" icon_docked; then
    sleep 1
    import -window root -crop 200x40+600+560 +repage -filter point -resize 300% build/run/tray.png
    mivo_log "icon docked; screenshot of the tray: build/run/tray.png"
  fi
  mivo_log "running on $DISPLAY; press Ctrl+C to stop"
fi
wait "$mivo_pid"
code=$?
mivo_log "Mivo ended with exit code $code"
exit $code
