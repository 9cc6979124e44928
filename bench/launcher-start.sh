#!/usr/bin/env bash
# Launcher start, from the process's start to the installer started, against
# a minimal C launcher that only reads Autorun.inf and starts the installer
# (bench/launcher/minimal_launcher.c, built here), measured by hyperfine on
# the same medium: natively and, for the Windows programs, under Wine.
#
#   bench/launcher-start.sh [native] [win64] [win32]     (default: all three)
#
# Uses the launcher of build/native-release, build/win64 and build/win32
# (build them first); KV_BENCH_RUNS sets the number of runs (default 40).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${KV_BENCH_RUNS:-40}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native win64 win32)
command -v hyperfine >/dev/null || { echo "hyperfine is missing (tools/setup.sh installs it)"; exit 2; }
work=$(mktemp -d)
started_servers=()
cleanup() {
  for prefix in "${started_servers[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# <dir> <launcher> <minimal> <installer> <suffix>: a medium with both launchers.
medium() {
  local dir=$1 suffix=$5
  mkdir -p "$dir"
  cp "$2" "$dir/Autorun$suffix"
  [ -f "${2%$suffix}.map" ] && cp "${2%$suffix}.map" "$dir/Autorun.map"
  cp "$3" "$dir/Minimal$suffix"
  cp "$4" "$dir/Install.exe"
  printf '[AutoRun]\r\nopen=Install.exe\r\n' >"$dir/Autorun.inf"
}

# <label> <command of ours> <command of the minimal one>
measure() {
  local label=$1 json="$work/$1.json"
  hyperfine -N --warmup 5 --runs "$runs" --export-json "$json" "$2" "$3" >"$work/$1.txt" 2>&1 ||
    { cat "$work/$1.txt"; return 1; }
  python3 - "$label" "$json" <<'PY'
import json, sys
label, path = sys.argv[1], sys.argv[2]
r = json.load(open(path))["results"]
ours, minimal = r[0], r[1]
print("%-7s ours %7.2f ms +- %5.2f   minimal %7.2f ms +- %5.2f   ratio %.2f (median %.2f)" % (
    label, ours["mean"] * 1e3, ours["stddev"] * 1e3, minimal["mean"] * 1e3, minimal["stddev"] * 1e3,
    ours["mean"] / minimal["mean"], ours["median"] / minimal["median"]))
PY
}

for target in "${targets[@]}"; do
  case $target in
    native)
      exe=build/native-release/launcher/Autorun
      [ -x "$exe" ] || { echo "native: $exe missing (cmake --workflow --preset native-release)"; continue; }
      cc -O2 -o "$work/minimal" bench/launcher/minimal_launcher.c
      cc -O2 -o "$work/installer" bench/launcher/quick_installer.c
      medium "$work/native" "$exe" "$work/minimal" "$work/installer" ""
      measure native "$work/native/Autorun" "$work/native/Minimal"
      ;;
    win64 | win32)
      exe=build/$target/launcher/Autorun.exe
      [ -f "$exe" ] || { echo "$target: $exe missing (cmake --workflow --preset $target)"; continue; }
      cc=x86_64-w64-mingw32-gcc
      [ "$target" = win32 ] && cc=i686-w64-mingw32-gcc
      flags=()
      [ "$target" = win32 ] && flags=(-mwindows)
      "$cc" -O2 -s "${flags[@]}" -o "$work/minimal-$target.exe" bench/launcher/minimal_launcher.c
      "$cc" -O2 -s -o "$work/installer-$target.exe" bench/launcher/quick_installer.c
      medium "$work/$target" "$exe" "$work/minimal-$target.exe" "$work/installer-$target.exe" .exe
      export WINEPREFIX=$root/build/$target/.wineprefix WINEDEBUG=-all
      export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
      unset DISPLAY
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wine wineboot -i >/dev/null 2>&1
        wineserver -w
      fi
      # A server kept running, so that each run measures the program, not
      # the server's start.
      wineserver -p
      started_servers+=("$WINEPREFIX")
      measure "$target" "wine $work/$target/Autorun.exe" "wine $work/$target/Minimal.exe"
      ;;
    *) echo "unknown target $target"; exit 2 ;;
  esac
done
