#!/bin/sh
# Runs one cross-built Windows program under Wine: the test runner's emulator
# (CMAKE_CROSSCOMPILING_EMULATOR). Headless and quiet: no display, no Wine
# debug channels, no Mono or Gecko install prompts. The prefix is the one the
# test run created (WINEPREFIX, set on every Windows test); a missing one is
# an error rather than a silent fallback to ~/.wine.
set -eu
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-run: WINEPREFIX must name a prepared Wine prefix (got '${WINEPREFIX:-}')" >&2
  exit 125
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"
