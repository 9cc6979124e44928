#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix and no Wine chatter.
# Usage: wine-run.sh <wine-binary> <program> [args...]
# KV_WINEPREFIX (set by CTest) names the prefix; it defaults to one beside the program.
set -u
wine_bin=$1; shift
command -v "$wine_bin" >/dev/null 2>&1 || wine_bin=/usr/lib/wine/$wine_bin
prog=$1; shift
: "${KV_WINEPREFIX:=$(dirname "$(readlink -f "$prog")")/.wineprefix}"
export WINEPREFIX=$KV_WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Without a display a message box returns at once; tests that need windows set
# KV_WINE_DISPLAY to a display, or to "inherit" to keep the one they were given.
case "${KV_WINE_DISPLAY:-}" in
  "") unset DISPLAY ;;
  inherit) ;;
  *) export DISPLAY=$KV_WINE_DISPLAY ;;
esac
# The first run creates the prefix; parallel tests wait for it under a lock.
mkdir -p "$WINEPREFIX"
{
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine_bin" wineboot -i >/dev/null 2>&1
    (wineserver -w || /usr/lib/wine/wineserver -w) 2>/dev/null || true
  fi
} 9>"$WINEPREFIX/.init.lock"
exec "$wine_bin" "$prog" "$@"
