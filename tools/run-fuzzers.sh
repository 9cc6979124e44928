#!/usr/bin/env bash
# Runs each fuzz target for a bounded time on its seed corpus.
# Usage: tools/run-fuzzers.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-20}
bin=build/fuzz/fuzz
status=0
for target in "$bin"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  cp -r fuzz/corpus/. "$work/"
  cp tests/data/version/*.exe "$work/"  # seeds of the version resource reader
  # A single line of 1 MB, made here rather than kept in the repository.
  { printf '[S]\nk='; head -c 1048576 /dev/zero | tr '\0' 'v'; } > "$work/one-long-line.ini"
  if [ -d ../shared/corpus/ini-real ]; then
    find ../shared/corpus/ini-real -type f \( -iname '*.ini' -o -iname '*.inf' \) -exec cp {} "$work/" \; 2>/dev/null || true
  fi
  echo "--- $name for ${secs}s"
  if ! "$target" -max_total_time="$secs" -max_len=1100000 -rss_limit_mb=4096 -timeout=30 "$work" 2>"$work.log"; then
    tail -50 "$work.log"
    status=1
  else
    grep -E '^(#[0-9]+.*DONE|Done)' "$work.log" | tail -1 || true
  fi
  rm -rf "$work" "$work.log"
done
exit $status
