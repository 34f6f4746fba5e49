#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build for a bounded time, each with its own
# corpus folder ($build/corpus/<target>, seeded from fuzz/seeds/<target> if
# any).  With a third argument, only the targets whose name matches it (a
# shell pattern) run.
set -euo pipefail
build=$1
seconds=${2:-60}
only=${3:-*}
status=0
for exe in "$build"/fuzz/*_fuzz; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  # shellcheck disable=SC2053
  [[ $name == $only ]] || continue
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "== $name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/" "$corpus" "${seeds[@]}" || status=1
done
exit $status
