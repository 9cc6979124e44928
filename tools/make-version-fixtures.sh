#!/bin/sh
# Builds the small Windows programs that the version-text tests read, into
# tests/data/version. They are checked in, so that the native tests need no
# cross compiler; run this again only to change them.
set -eu
out="$(cd "$(dirname "$0")/.." && pwd)/tests/data/version"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
printf 'void start(void) {}\n' >"$work/start.c"

# FileVersion in the file's own translation (US English, Windows-1252).
cat >"$work/own.rc" <<'RC'
1 VERSIONINFO
FILEVERSION 4,2,17,300
PRODUCTVERSION 4,2,17,300
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "FileVersion", "4.2.17.300 (release)"
      VALUE "ProductName", "Fixture"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0409, 1252
  END
END
RC
# The translation names a German table that is missing: the English one is read.
cat >"$work/fallback.rc" <<'RC'
1 VERSIONINFO
FILEVERSION 2,5,0,1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "FileVersion", "2.5 english"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0407, 1200
  END
END
RC
# Only the fixed version: "major.minor" of it.
cat >"$work/fixed.rc" <<'RC'
1 VERSIONINFO
FILEVERSION 7,3,9,9
BEGIN
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0407, 1200
  END
END
RC

build() {  # compiler windres name [rc]
  # 32-bit symbols carry a leading underscore.
  entry=start
  case "$1" in i686*) entry=_start ;; esac
  if [ -n "${4:-}" ]; then
    "$2" "$work/$4.rc" -O coff -o "$work/$4.res"
    "$1" -nostdlib -e "$entry" -s -o "$out/$3" "$work/start.c" "$work/$4.res"
  else
    "$1" -nostdlib -e "$entry" -s -o "$out/$3" "$work/start.c"
  fi
}
build i686-w64-mingw32-gcc i686-w64-mingw32-windres own-translation.exe own
build x86_64-w64-mingw32-gcc x86_64-w64-mingw32-windres english-fallback.exe fallback
build i686-w64-mingw32-gcc i686-w64-mingw32-windres fixed-only.exe fixed
build x86_64-w64-mingw32-gcc x86_64-w64-mingw32-windres no-version.exe
ls -l "$out"
