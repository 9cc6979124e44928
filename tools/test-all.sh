#!/usr/bin/env bash
# Runs every test of every preset: native (sanitizers), the threaded tests
# under ThreadSanitizer, ubsan (clang's strict undefined-behaviour checks and
# libstdc++'s assertions), win64 under Wine,
# win32 (built; run where a 32-bit Wine exists), and each fuzz target briefly.
set -uo pipefail
cd "$(dirname "$0")/.."

failed=()
step() {
  local name=$1; shift
  echo "=== $name"
  if "$@"; then echo "=== $name: ok"; else echo "=== $name: FAILED"; failed+=("$name"); fi
}
# With KV_DROP_BUILDS=1 (as in CI) each build folder is removed once its tests
# have run, so that the disk holds one build at a time. The shared Wine seed
# prefix stays for the next Windows build.
drop() {
  [ "${KV_DROP_BUILDS:-0}" = 1 ] || return 0
  local dir
  for dir in "$@"; do rm -rf "build/$dir"; done
  echo "=== dropped build/$*; $(df -h --output=avail . | tail -n 1 | tr -d ' ') free"
}

step native cmake --workflow --preset native --fresh
drop native
step tsan cmake --workflow --preset tsan --fresh
drop tsan
if command -v clang++ >/dev/null 2>&1; then
  step ubsan cmake --workflow --preset ubsan --fresh
  drop ubsan
else
  echo "=== ubsan: clang not found, skipped"
fi
step win64 cmake --workflow --preset win64 --fresh
drop win64

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  step win32 cmake --workflow --preset win32 --fresh
else
  echo "=== win32: no 32-bit Wine on this machine; building the shipped program without running its tests"
  step win32-build cmake --workflow --preset win32-build --fresh
fi
drop win32

if command -v clang++ >/dev/null 2>&1; then
  step fuzz-build cmake --workflow --preset fuzz --fresh
  step fuzz-run tools/run-fuzzers.sh "${KV_FUZZ_SECONDS:-10}"
  drop fuzz
else
  echo "=== fuzz: clang not found, skipped"
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all test steps passed"
