#!/usr/bin/env bash
# The main job: the launcher on the bundled example medium, natively and,
# where Wine is present, as the Windows program. Prints which installer started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

run_medium() {  # <label> <launcher> <installer-program> <exe-suffix> <runner...>
  local label=$1 launcher=$2 installer=$3 suffix=$4; shift 4
  local work; work=$(mktemp -d)
  cp -r examples/medium/. "$work/"
  cp "$launcher" "$work/Autorun$suffix"
  # The medium's Autorun.inf names Setup\Install.exe; put the example installer there.
  mkdir -p "$work/Setup"
  cp "$installer" "$work/Setup/Install.exe"
  local marker="$work/started.txt"
  local markerEnv=$marker
  [ -n "$suffix" ] && markerEnv="Z:${marker//\//\\}"
  echo "[$label] running $work/Autorun$suffix"
  local rc=0
  (cd "$work" && KV_STUB_MARKER="$markerEnv" "$@" "./Autorun$suffix") || rc=$?
  echo "[$label] launcher exit code: $rc"
  for _ in $(seq 1 200); do [ -f "$marker" ] && break; sleep 0.1; done
  if [ -f "$marker" ]; then
    echo "[$label] installer started: $(grep '^program=' "$marker" | cut -d= -f2-)"
    echo "[$label] with current folder $(grep '^cwd=' "$marker" | cut -d= -f2-) and $(grep '^args=' "$marker" | cut -d= -f2-) arguments"
  else
    echo "[$label] no installer started"; rm -rf "$work"; return 1
  fi
  rm -rf "$work"
}

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target Autorun kv_stub_installer >/dev/null
run_medium native build/native-release/launcher/Autorun build/native-release/tests/kv_stub_installer ""

if command -v wine >/dev/null 2>&1 && command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target Autorun kv_stub_installer >/dev/null
  run_medium win64 build/win64/launcher/Autorun.exe build/win64/tests/kv_stub_installer.exe .exe \
    env KV_WINEPREFIX="$root/build/win64/.wineprefix" "$root/cmake/wine-run.sh" wine
else
  echo "[win64] Wine or mingw-w64 not present: skipped"
fi
