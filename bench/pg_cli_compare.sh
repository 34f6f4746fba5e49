#!/usr/bin/env bash
# instkit data export/import against a PostgreSQL server, compared in the
# same run, on the same throwaway server (tests/support/pg_cluster.sh), on
# ROWS rows (default 1,000,000) of the data-file benchmark's shape (integer,
# text of about 20 bytes, double, boolean):
#   export: instkit data export       vs  psql COPY (SELECT ...) TO STDOUT (FORMAT binary) > /dev/null
#                                     vs  pg_dump --data-only -t bench | zstd -3
#   import: instkit data import       vs  psql COPY ... FROM STDIN (FORMAT binary) of the same rows
#                                     vs  zstd -dc DUMP | psql
# Usage: bench/pg_cli_compare.sh BUILD_DIR.  Each command alternates with the
# others REPEAT times (default 3); the best runs are compared.
set -euo pipefail
build=${1:-build}
instkit="$build/cli/instkit"
rows=${ROWS:-1000000}
[ -x "$instkit" ] || { echo "no $instkit: build the CLI first" >&2; exit 1; }
command -v zstd >/dev/null || { echo "needs zstd" >&2; exit 1; }
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
state="$work/cluster"
trap '"$here/tests/support/pg_cluster.sh" remove "$state"; rm -rf "$work"' EXIT
"$here/tests/support/pg_cluster.sh" start "$state" fsync=on synchronous_commit=on full_page_writes=on
if [ -f "$state/unavailable" ]; then echo "skipped: $(cat "$state/unavailable")" >&2; exit 0; fi
server=$(cat "$state/conninfo")
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
sql() { psql -X -q -v ON_ERROR_STOP=1 "$server" "$@"; }

sql -c "CREATE TABLE bench (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN);
        INSERT INTO bench SELECT i, format('item-%s-%s', lpad(i::text, 7, '0'), lpad(to_hex((i * 2654435761::bigint) & 16777215), 6, '0')),
                                 i * 0.25 + 0.1, i % 3 = 0 FROM generate_series(0, $rows - 1) i;"
sql -c "VACUUM ANALYZE bench"
sql -c "COPY bench TO STDOUT (FORMAT binary)" >"$work/bench.bin"
fresh() { sql -c "DROP TABLE IF EXISTS bench_in; CREATE TABLE bench_in (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN)"; }

seconds() {
  local start end
  start=$EPOCHREALTIME
  "$@" >/dev/null
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}
best() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (a == "" || b < a) ? b : a }'; }
ex_i= ex_copy= ex_dump= im_i= im_copy= im_dump=
for _ in $(seq "${REPEAT:-3}"); do
  rm -f "$work/bench.idf" "$work/bench.sql.zst"
  ex_i=$(best "$ex_i" "$(seconds "$instkit" data export --db "pg:$server" --table bench -o "$work/bench.idf")")
  ex_copy=$(best "$ex_copy" "$(seconds sql -c "COPY (SELECT id, name, value, flag FROM bench) TO STDOUT (FORMAT binary)")")
  ex_dump=$(best "$ex_dump" "$(seconds sh -c "'$bin/pg_dump' --data-only -t bench -d '$server' | zstd -3 -q -o '$work/bench.sql.zst'")")
  # The idf file names table bench: import it into a second database.
  sql -c "DROP DATABASE IF EXISTS target" -c "CREATE DATABASE target"
  target="${server/dbname=postgres/dbname=target}"
  psql -X -q "$target" -c "CREATE TABLE bench (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN)"
  im_i=$(best "$im_i" "$(seconds "$instkit" data import "$work/bench.idf" --db "pg:$target")")
  fresh
  im_copy=$(best "$im_copy" "$(seconds sh -c "psql -X -q '$server' -c 'COPY bench_in FROM STDIN (FORMAT binary)' < '$work/bench.bin'")")
  sql -c "DROP DATABASE IF EXISTS restored" -c "CREATE DATABASE restored"
  restored="${server/dbname=postgres/dbname=restored}"
  psql -X -q "$restored" -c "CREATE TABLE bench (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN)"
  im_dump=$(best "$im_dump" "$(seconds sh -c "zstd -dc '$work/bench.sql.zst' | psql -X -q -v ON_ERROR_STOP=1 '$restored'")")
done
check="SELECT count(*), sum(id), sum(length(name)), sum(value::numeric), count(*) FILTER (WHERE flag) FROM bench"
expected=$(psql -X -At "$server" -c "$check")
[ "$(psql -X -At "$target" -c "$check")" = "$expected" ] || { echo "instkit import differs from the source" >&2; exit 1; }
[ "$(psql -X -At "$restored" -c "$check")" = "$expected" ] || { echo "the restored dump differs from the source" >&2; exit 1; }
awk -v rows="$rows" -v ei="$ex_i" -v ec="$ex_copy" -v ed="$ex_dump" -v ii="$im_i" -v ic="$im_copy" -v id="$im_dump" 'BEGIN {
  printf "rows: %d (PostgreSQL)\n", rows
  printf "export  instkit %7.3f s   raw binary COPY TO         %7.3f s   rate ratio %.2f (goal >= 0.5)\n", ei, ec, ec / ei
  printf "export  instkit %7.3f s   pg_dump | zstd -3          %7.3f s   %.2f x faster (goal >= 2)\n", ei, ed, ed / ei
  printf "import  instkit %7.3f s   raw binary COPY FROM       %7.3f s   rate ratio %.2f (goal >= 0.8)\n", ii, ic, ic / ii
  printf "import  instkit %7.3f s   zstd -dc | psql            %7.3f s   %.2f x faster (goal >= 1)\n", ii, id, id / ii
}'
