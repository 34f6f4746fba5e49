#!/usr/bin/env bash
# Runs every benchmark executable of a benchmark build, then the whole-process
# comparison scripts of bench/ (bench/*.sh), each given the build folder.
set -euo pipefail
build=$1
status=0
for exe in "$build"/bench/*_bench; do
  [ -x "$exe" ] || continue
  echo "== $(basename "$exe")"
  "$exe" --benchmark_counters_tabular=true || status=1
done
for script in bench/*.sh; do
  [ -f "$script" ] || continue
  echo "== $script"
  bash "$script" "$build" || status=1
done
exit $status
