#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix and no Wine chatter.
# Usage: wine-run.sh <wine-binary> <program> [args...]
# KV_WINEPREFIX (set by CTest) names the prefix; it defaults to one beside the program.
set -u
wine_bin=$1; shift
command -v "$wine_bin" >/dev/null 2>&1 || wine_bin=/usr/lib/wine/$wine_bin
prog=$1; shift
: "${KV_WINEPREFIX:=$(dirname "$(readlink -f "$prog")")/.wineprefix}"
# A new prefix holds 1.3 GB of system libraries. They are made once, in a seed
# prefix under the build folder, and every private prefix shares them through
# hard links; only the registry and the user folders are its own.
: "${KV_WINE_SEED:=$(dirname "$(readlink -f "$0")")/../build/.wineprefix-seed}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# boot PREFIX: creates a prefix from scratch and waits until Wine is done with it.
boot() {
  WINEPREFIX=$1 "$wine_bin" wineboot -i >/dev/null 2>&1
  (WINEPREFIX=$1 wineserver -w || WINEPREFIX=$1 /usr/lib/wine/wineserver -w) 2>/dev/null || true
  [ -f "$1/system.reg" ]
}

# from_seed PREFIX: fills PREFIX from the seed; the system folders as hard links.
from_seed() {
  local seed=$1 dest=$2 shared=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
  # Everything but the shared folders is copied, so that nothing the
  # programs change reaches the seed or another prefix.
  tar -C "$seed" --exclude=./.init.lock --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
      --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$dest" -xf - || return 1
  local dir
  for dir in "${shared[@]}"; do
    [ -d "$seed/$dir" ] || continue
    rm -rf "${dest:?}/$dir"
    cp -al "$seed/$dir" "$dest/$dir" 2>/dev/null || cp -a "$seed/$dir" "$dest/$dir" || return 1
  done
  [ -f "$dest/system.reg" ]
}

# Without a display a message box returns at once; tests that need windows set
# KV_WINE_DISPLAY to a display, or to "inherit" to keep the one they were given.
display=${DISPLAY-}
unset DISPLAY
# The first run creates the prefix; parallel tests wait for it under a lock.
mkdir -p "$KV_WINEPREFIX" || { echo "wine-run.sh: cannot create the Wine prefix $KV_WINEPREFIX" >&2; exit 125; }
{
  flock 9
  if [ ! -f "$KV_WINEPREFIX/system.reg" ]; then
    made=false
    if mkdir -p "$KV_WINE_SEED" 2>/dev/null; then
      {
        flock 8
        [ -f "$KV_WINE_SEED/system.reg" ] || boot "$KV_WINE_SEED"
      } 8>"$KV_WINE_SEED/.init.lock"
      if [ -f "$KV_WINE_SEED/system.reg" ]; then
        # A prefix counts as made only when its registry is there: a copy
        # that failed half-way is booted afresh.
        from_seed "$KV_WINE_SEED" "$KV_WINEPREFIX" && made=true || rm -f "$KV_WINEPREFIX/system.reg"
      fi
    fi
    $made || boot "$KV_WINEPREFIX" || {
      echo "wine-run.sh: Wine could not create the prefix $KV_WINEPREFIX (is the disk full?)" >&2
      rm -f "$KV_WINEPREFIX/system.reg"
      exit 125
    }
  fi
} 9>"$KV_WINEPREFIX/.init.lock"
export WINEPREFIX=$KV_WINEPREFIX
case "${KV_WINE_DISPLAY:-}" in
  "") ;;
  inherit) [ -n "$display" ] && export DISPLAY=$display ;;
  *) export DISPLAY=$KV_WINE_DISPLAY ;;
esac
exec "$wine_bin" "$prog" "$@"
