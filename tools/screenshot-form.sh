#!/usr/bin/env bash
# Shows a form of tools/formshot with the win32 window system under Wine on a
# private Xvfb and saves what the screen shows of it as a PNG.
# Usage: tools/screenshot-form.sh [MODE] [OUTPUT.png]
#   sample (default): docs/form-sample.png; any other mode of formshot
#   (dialog-controls, taskdialog-error, ...): docs/MODE.png
# Needs the win64 build (cmake --workflow --preset win64, or just its formshot target).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-sample}
case "$mode" in
  sample) out=${2:-docs/form-sample.png} ;;
  [a-z]*) out=${2:-docs/$mode.png} ;;
  *) echo "usage: $0 [MODE] [OUTPUT.png]" >&2; exit 2 ;;
esac
build=build/win64
cmake --build "$build" --target formshot >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export KV_WINEPREFIX=$PWD/$build/.wineprefix-display
# A Wine desktop window, so that Wine draws the window frames itself (Xvfb has
# no window manager to draw them).
cmake/wine-run.sh wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
cmake/wine-run.sh wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
cmake/xvfb-run.sh cmake/wine-run.sh wine "$build/tools/formshot/formshot.exe" "$mode" "$tmp/shot.bmp"
mkdir -p "$(dirname "$out")"
python3 tools/bmp2png.py "$tmp/shot.bmp" "$out"
echo "saved $out"
