#!/usr/bin/env bash
# Real key presses, sent by the X server (xdotool, XTEST) into the windows of
# the Windows program under Wine: focus on activation, Enter, Escape, Tab,
# Space, Alt and plain accelerators, the copy keys.
# Usage (on a display): keyboard-input.sh PROBE.exe EMULATOR...
set -u
probe=$1
shift
emulator=("$@")
command -v xdotool >/dev/null || { echo "xdotool is missing"; exit 1; }
failed=0

# case NAME MODE EXPECTED KEY... : runs the probe, types the keys into its
# window and looks for EXPECTED in what it prints.
case_() {
  local name=$1 mode=$2 expected=$3
  shift 3
  local out pid win="" attempt
  out=$(mktemp)
  # Wine's own starter now and then fails to create the process under load
  # ("ShellExecuteEx failed: Internal error"): the probe never ran, so that
  # start is tried once more.
  for attempt in 1 2; do
    "${emulator[@]}" "$probe" "$mode" >"$out" 2>&1 &
    pid=$!
    for _ in $(seq 1 600); do
      win=$(xdotool search --onlyvisible --name "KV Keyboard Probe" 2>/dev/null | head -n 1)
      [ -n "$win" ] && break
      if ! kill -0 "$pid" 2>/dev/null && grep -q "ShellExecuteEx failed" "$out"; then break; fi
      sleep 0.1
    done
    [ -n "$win" ] && break
    grep -q "ShellExecuteEx failed" "$out" || break
    echo "$name: Wine could not start the probe ($(tr '\n' ' ' <"$out")); starting it again"
  done
  if [ -z "$win" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    echo "$name: FAILED, no window appeared within 60 s; the probe printed:"
    cat "$out"
    rm -f "$out"
    # Without windows the other cases would only wait the same minute each.
    echo "the remaining cases are not run"
    exit 1
  fi
  # The window shows and takes the keyboard by itself; give it a moment.
  sleep 1
  for key in "$@"; do
    xdotool key "$key"
    sleep 0.6
  done
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "$name: FAILED, the dialog is still open after the keys $*"
    xdotool search --onlyvisible --name "KV Keyboard Probe" windowkill 2>/dev/null
    kill "$pid" 2>/dev/null
    failed=1
  fi
  wait "$pid" 2>/dev/null
  if tr '\n' ' ' <"$out" | grep -q -- "$expected"; then
    echo "$name: ok"
  else
    echo "$name: FAILED, expected \"$expected\" after the keys $*; the probe printed:"
    cat "$out"
    failed=1
  fi
  rm -f "$out"
}

case_ escape-clicks-cancel dialog "button=2 verification=0" Escape
case_ enter-clicks-the-first-button dialog "button=10" Return
case_ tab-then-space dialog "button=1" Tab space
case_ alt-accelerator dialog "button=10" alt+w
case_ plain-accelerator-toggles-the-box dialog "button=2 verification=1" m Escape
case_ ctrl-c-copies-the-dialog-text dialog "clipboard=\[Window Title\]" ctrl+c Escape
case_ ctrl-insert-copies-too dialog "clipboard=\[Window Title\]" ctrl+shift+Insert Escape
case_ alt-accelerator-on-a-form accelerator "result=21" alt+w
case_ escape-on-a-form accelerator "result=2" Escape
# The exception dialog, then the error message under it: each closes on
# Enter and on Escape with OK.
case_ exception-and-error-close-on-enter exception "closed.*result=1" Return Return
case_ exception-and-error-close-on-escape exception "closed.*result=1" Escape Escape
exit $failed
