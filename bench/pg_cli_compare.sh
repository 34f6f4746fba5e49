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
# others REPEAT times (default 5); the best runs are compared.  Besides the
# wall time, each line shows the processor time of the best run on the
# client side (the command and its pipeline) and on the server (the
# backends that served it), which says where the time goes.  The commands
# write their messages to a log, not to a terminal, as in a script: instkit
# then draws no progress bar and does not count the rows first.
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
postmaster=$(head -n 1 "$(cat "$state/root")/data/postmaster.pid")
sql() { psql -X -q -v ON_ERROR_STOP=1 "$server" "$@"; }
export PGOPTIONS="-c client_min_messages=warning"  # no "does not exist, skipping"

sql -c "CREATE TABLE bench (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN);
        INSERT INTO bench SELECT i, format('item-%s-%s', lpad(i::text, 7, '0'), lpad(to_hex((i * 2654435761::bigint) & 16777215), 6, '0')),
                                 i * 0.25 + 0.1, i % 3 = 0 FROM generate_series(0, $rows - 1) i;"
sql -c "VACUUM ANALYZE bench"
sql -c "COPY bench TO STDOUT (FORMAT binary)" >"$work/bench.bin"
fresh() { sql -c "DROP TABLE IF EXISTS bench_in; CREATE TABLE bench_in (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN)"; }

# The processor seconds of the server's backends that have ended: the
# postmaster's reaped children.
server_cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($16 + $17) / hz }' "/proc/$postmaster/stat"; }
# Runs a command; sets LAST to "wall client-cpu server-cpu" (seconds).
measure() {
  local before after times
  before=$(server_cpu)
  times=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>>"$work/messages.log"; } 2>&1 ) ||
    { cat "$work/messages.log" >&2; exit 1; }
  sleep 0.3  # the backend ends after its client
  after=$(server_cpu)
  LAST=$(echo "$times" | awk -v b="$before" -v a="$after" '{ printf "%.3f %.2f %.2f", $1, $2 + $3, a - b }')
}
# Keeps the run with the shorter wall time: best VAR.
best() {
  local current=${!1}
  if [ -z "$current" ] || awk -v a="${LAST%% *}" -v b="${current%% *}" 'BEGIN { exit !(a < b) }'; then
    printf -v "$1" '%s' "$LAST"
  fi
}
load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
ex_i= ex_copy= ex_dump= im_i= im_copy= im_dump=
for _ in $(seq "${REPEAT:-5}"); do
  rm -f "$work/bench.idf" "$work/bench.sql.zst"
  measure "$instkit" data export --db "pg:$server" --table bench -o "$work/bench.idf"; best ex_i
  measure sql -c "COPY (SELECT id, name, value, flag FROM bench) TO STDOUT (FORMAT binary)"; best ex_copy
  measure sh -c "'$bin/pg_dump' --data-only -t bench -d '$server' | zstd -3 -q -o '$work/bench.sql.zst'"; best ex_dump
  # The idf file names table bench: import it into a second database.
  sql -c "DROP DATABASE IF EXISTS target" -c "CREATE DATABASE target"
  target="${server/dbname=postgres/dbname=target}"
  psql -X -q "$target" -c "CREATE TABLE bench (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN)"
  measure "$instkit" data import "$work/bench.idf" --db "pg:$target"; best im_i
  fresh
  measure sh -c "psql -X -q '$server' -c 'COPY bench_in FROM STDIN (FORMAT binary)' < '$work/bench.bin'"; best im_copy
  sql -c "DROP DATABASE IF EXISTS restored" -c "CREATE DATABASE restored"
  restored="${server/dbname=postgres/dbname=restored}"
  psql -X -q "$restored" -c "CREATE TABLE bench (id INTEGER, name TEXT, value DOUBLE PRECISION, flag BOOLEAN)"
  measure sh -c "zstd -dc '$work/bench.sql.zst' | psql -X -q -v ON_ERROR_STOP=1 '$restored'"; best im_dump
done
check="SELECT count(*), sum(id), sum(length(name)), sum(value::numeric), count(*) FILTER (WHERE flag) FROM bench"
expected=$(psql -X -At "$server" -c "$check")
[ "$(psql -X -At "$target" -c "$check")" = "$expected" ] || { echo "instkit import differs from the source" >&2; exit 1; }
[ "$(psql -X -At "$restored" -c "$check")" = "$expected" ] || { echo "the restored dump differs from the source" >&2; exit 1; }
awk -v rows="$rows" -v ei="$ex_i" -v ec="$ex_copy" -v ed="$ex_dump" -v ii="$im_i" -v ic="$im_copy" -v id="$im_dump" \
    -v l0="$load_before" -v l1="$(cut -d ' ' -f 1-3 /proc/loadavg)" 'BEGIN {
  split(ei, a); split(ec, b); split(ed, c); split(ii, d); split(ic, e); split(id, f)
  printf "rows: %d (PostgreSQL); load average %s before, %s after\n", rows, l0, l1
  printf "best of each, wall (processor time client + server):\n"
  printf "  instkit data export     %6.3f s (%.2f + %.2f)\n", a[1], a[2], a[3]
  printf "  raw binary COPY TO      %6.3f s (%.2f + %.2f)\n", b[1], b[2], b[3]
  printf "  pg_dump | zstd -3       %6.3f s (%.2f + %.2f)\n", c[1], c[2], c[3]
  printf "  instkit data import     %6.3f s (%.2f + %.2f)\n", d[1], d[2], d[3]
  printf "  raw binary COPY FROM    %6.3f s (%.2f + %.2f)\n", e[1], e[2], e[3]
  printf "  zstd -dc | psql         %6.3f s (%.2f + %.2f)\n", f[1], f[2], f[3]
  printf "export rate / raw COPY TO     %.2f (goal >= 0.5)\n", b[1] / a[1]
  printf "export vs pg_dump | zstd -3   %.2f x faster (goal >= 2)\n", c[1] / a[1]
  printf "import rate / raw COPY FROM   %.2f (goal >= 0.8)\n", e[1] / d[1]
  printf "import vs zstd -dc | psql     %.2f x faster (goal >= 1)\n", f[1] / d[1]
}'
