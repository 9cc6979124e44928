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

step native cmake --workflow --preset native --fresh
step tsan cmake --workflow --preset tsan --fresh
if command -v clang++ >/dev/null 2>&1; then
  step ubsan cmake --workflow --preset ubsan --fresh
else
  echo "=== ubsan: clang not found, skipped"
fi
step win64 cmake --workflow --preset win64 --fresh

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  step win32 cmake --workflow --preset win32 --fresh
else
  echo "=== win32: no 32-bit Wine on this machine; building the shipped program without running its tests"
  step win32-build cmake --workflow --preset win32-build --fresh
fi

if command -v clang++ >/dev/null 2>&1; then
  step fuzz-build cmake --workflow --preset fuzz --fresh
  step fuzz-run tools/run-fuzzers.sh "${KV_FUZZ_SECONDS:-10}"
else
  echo "=== fuzz: clang not found, skipped"
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all test steps passed"
