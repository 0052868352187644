#!/bin/sh
# wine-prefix.sh create|remove DIR — the throw-away Wine prefix of one test run.
#   create: makes a fresh 32-bit prefix in DIR (any old one is removed first)
#           and turns off Wine's crash dialog, so a crashing test fails
#           instead of waiting for a click.
#   remove: stops the prefix's wineserver and deletes DIR.
set -eu
action=$1
dir=$2
export WINEPREFIX="$dir"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

remove() {
  if [ -d "$dir" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$dir"
  fi
}

case "$action" in
  create)
    remove
    mkdir -p "$(dirname "$dir")"
    WINEARCH=win32 wineboot --init
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
    wineserver -w
    echo "wine-prefix: created $dir"
    ;;
  remove)
    remove
    echo "wine-prefix: removed $dir"
    ;;
  *)
    echo "usage: wine-prefix.sh create|remove DIR" >&2
    exit 2
    ;;
esac
