#!/usr/bin/env bash
# Whole-process comparison of `instkit data` with what a user would otherwise
# do, on the same table of ROWS rows (default 1,000,000: INTEGER, TEXT of about
# 20 bytes, REAL, BOOLEAN):
#   export: instkit data export      vs  sqlite3 DB '.dump T' | zstd -3
#   import: instkit data import      vs  zstd -dc DUMP | sqlite3 NEWDB
# Usage: bench/data_cli_compare.sh BUILD_DIR   (the build's cli/instkit is used)
# Each pair alternates REPEAT times (default 3); the best runs are compared.
set -euo pipefail
build=${1:-build}
instkit="$build/cli/instkit"
rows=${ROWS:-1000000}
[ -x "$instkit" ] || { echo "no $instkit: build the CLI first" >&2; exit 1; }
command -v sqlite3 >/dev/null && command -v zstd >/dev/null || { echo "needs sqlite3 and zstd" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sqlite3 "$work/source.db" "
  CREATE TABLE bench (id INTEGER, name TEXT, value REAL, flag BOOLEAN);
  WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < $rows)
  INSERT INTO bench SELECT i, printf('item-%07d-%06x', i, (i * 2654435761) & 16777215),
                           i * 0.25 + 0.1, i % 3 = 0 FROM n;"

# Runs a command, prints its wall-clock seconds.
seconds() {
  local start end
  start=$EPOCHREALTIME
  "$@"
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

# Each command alternates with its counterpart REPEAT times (default 3) on
# fresh outputs, and the best (shortest) runs are compared: the machine may be
# shared, and both sides then meet the same conditions.
best() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (a == "" || b < a) ? b : a }'; }
export_instkit= export_dump= import_instkit= import_dump=
for _ in $(seq "${REPEAT:-3}"); do
  rm -f "$work/bench.idf" "$work/bench.sql.zst" "$work/imported.db" "$work/restored.db"
  export_instkit=$(best "$export_instkit" \
    "$(seconds "$instkit" data export --db "$work/source.db" --table bench -o "$work/bench.idf")")
  export_dump=$(best "$export_dump" \
    "$(seconds sh -c "sqlite3 '$work/source.db' '.dump bench' | zstd -3 -q -o '$work/bench.sql.zst'")")
  import_instkit=$(best "$import_instkit" "$(seconds "$instkit" data import "$work/bench.idf" --db "$work/imported.db")")
  import_dump=$(best "$import_dump" "$(seconds sh -c "zstd -dc '$work/bench.sql.zst' | sqlite3 '$work/restored.db'")")
done

count() { sqlite3 "$1" "SELECT count(*), total(id), total(length(name)), total(value), total(flag) FROM bench"; }
expected=$(count "$work/source.db")
[ "$(count "$work/imported.db")" = "$expected" ] || { echo "instkit import differs from the source" >&2; exit 1; }
[ "$(count "$work/restored.db")" = "$expected" ] || { echo "sqlite3 restore differs from the source" >&2; exit 1; }

size_idf=$(stat -c %s "$work/bench.idf")
size_dump=$(stat -c %s "$work/bench.sql.zst")
awk -v rows="$rows" -v ei="$export_instkit" -v ed="$export_dump" -v ii="$import_instkit" -v id="$import_dump" \
    -v si="$size_idf" -v sd="$size_dump" 'BEGIN {
  printf "rows: %d\n", rows
  printf "export  instkit %7.3f s   sqlite3 .dump | zstd -3  %7.3f s   %.2f x faster (goal >= 2.5)\n", ei, ed, ed / ei
  printf "import  instkit %7.3f s   zstd -dc | sqlite3        %7.3f s   %.2f x faster (goal >= 3)\n", ii, id, id / ii
  printf "files   .idf %d bytes   .sql.zst %d bytes\n", si, sd
}'
