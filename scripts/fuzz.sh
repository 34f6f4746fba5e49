#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, each with its own
# corpus folder (fuzz/corpus/<target>, seeded from fuzz/seeds/<target> if any).
set -euo pipefail
build=$1
seconds=${2:-60}
status=0
for exe in "$build"/fuzz/*_fuzz; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "== $name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/" "$corpus" "${seeds[@]}" || status=1
done
exit $status
