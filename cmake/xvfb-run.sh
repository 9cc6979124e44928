#!/usr/bin/env bash
# Runs a command with a private X server (Xvfb) of its own and lets Wine use
# its display: for the tests of real windows.
set -u
exec xvfb-run -a -s "-screen 0 1280x1024x24" env KV_WINE_DISPLAY=inherit "$@"
