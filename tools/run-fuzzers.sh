#!/usr/bin/env bash
# Runs each fuzz target for a bounded time on its seed corpus and prints how
# many inputs a second it tried. Inputs are kept short (KV_FUZZ_MAX_LEN,
# 4096 bytes) so that each run tries many; the long cases are regression
# tests. The binary formats keep the size of their largest seed. Scratch
# files go to the run's own folder, which is removed afterwards.
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
  if [ -d ../shared/corpus/ini-real ]; then
    find ../shared/corpus/ini-real -type f \( -iname '*.ini' -o -iname '*.inf' \) -exec cp {} "$work/" \; 2>/dev/null || true
  fi
  case "$name" in
    fuzz_bmp | fuzz_version_resource) len=() ;;
    *) len=(-max_len="${KV_FUZZ_MAX_LEN:-4096}") ;;
  esac
  echo "--- $name for ${secs}s"
  mkdir "$work/.scratch"
  if ! TMPDIR="$work/.scratch" "$target" -max_total_time="$secs" "${len[@]}" -rss_limit_mb=4096 -timeout=30 \
      -print_final_stats=1 "$work" 2>"$work.log"; then
    tail -50 "$work.log"
    status=1
  else
    grep -E '^Done' "$work.log" | tail -1 || true
    grep -E 'stat::average_exec_per_sec' "$work.log" | sed 's/.*: */inputs a second: /' || true
  fi
  rm -rf "$work" "$work.log"
done
exit $status
