#!/usr/bin/env bash
# Shows the sample dialog of tools/formshot with the win32 window system under
# Wine on a private Xvfb and saves what the screen shows of it as a PNG.
# Usage: tools/screenshot-form.sh [OUTPUT.png]   (default docs/form-sample.png)
# Needs the win64 build (cmake --workflow --preset win64, or just its formshot target).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/form-sample.png}
build=build/win64
cmake --build "$build" --target formshot >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export KV_WINEPREFIX=$PWD/$build/.wineprefix-display
# A Wine desktop window, so that Wine draws the window frames itself (Xvfb has
# no window manager to draw them).
cmake/wine-run.sh wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
cmake/wine-run.sh wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
cmake/xvfb-run.sh cmake/wine-run.sh wine "$build/tools/formshot/formshot.exe" "$tmp/shot.bmp"
mkdir -p "$(dirname "$out")"
python3 tools/bmp2png.py "$tmp/shot.bmp" "$out"
echo "saved $out"
