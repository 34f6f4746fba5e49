#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests and benchmarks: a temporary
# folder holding the data, a Unix socket and nothing else (no TCP port),
# run by an unprivileged user (initdb refuses root: as root the server runs
# as "nobody").  Connections need the password kept in a password file
# beside the socket.
#
#   pg_cluster.sh start STATE [postgres -c options...]
#       makes and starts a cluster; writes STATE/conninfo (a libpq
#       connection string) and STATE/root (the temporary folder).  Without
#       PostgreSQL installed it writes STATE/unavailable (the reason) and
#       succeeds, so that the tests can skip with that message.
#   pg_cluster.sh stop STATE      stops the server (immediately), keeps the data
#   pg_cluster.sh run STATE       starts a stopped server again
#   pg_cluster.sh remove STATE    stops the server and removes everything
set -euo pipefail
command=${1:?usage: pg_cluster.sh start|stop|run|remove STATE}
state=${2:?usage: pg_cluster.sh start|stop|run|remove STATE}
shift 2

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u nobody -- "$@"
  else
    "$@"
  fi
}
pg_ctl_in() { as_server "$bin/pg_ctl" -D "$(cat "$state/root")/data" "$@"; }

case "$command" in
  start)
    rm -rf "$state"
    mkdir -p "$state"
    if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
      echo "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb; Debian package postgresql)" >"$state/unavailable"
      exit 0
    fi
    root=$(mktemp -d /tmp/instkit-pg.XXXXXX)
    echo "$root" >"$state/root"
    chmod 755 "$root"
    password=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    printf '%s\n' "$password" >"$root/password"
    [ "$(id -u)" -eq 0 ] && chown nobody "$root" "$root/password"
    as_server "$bin/initdb" -D "$root/data" -U instkit --pwfile="$root/password" --auth-local=scram-sha-256 \
      --auth-host=reject -E UTF8 --no-locale --no-sync >"$root/initdb.log" 2>&1 ||
      { cat "$root/initdb.log" >&2; exit 1; }
    rm -f "$root/password"
    printf '*:*:*:instkit:%s\n' "$password" >"$root/pgpass"
    chmod 600 "$root/pgpass"
    options="-c listen_addresses='' -k $root -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    for option in "$@"; do options+=" -c $option"; done
    echo "$options" >"$root/options"
    pg_ctl_in -l "$root/server.log" -o "$options" -w -t 60 start >/dev/null
    echo "host=$root port=5432 user=instkit dbname=postgres passfile=$root/pgpass" >"$state/conninfo"
    ;;
  stop)
    pg_ctl_in -m immediate -w stop >/dev/null 2>&1 || true
    ;;
  run)
    root=$(cat "$state/root")
    pg_ctl_in -l "$root/server.log" -o "$(cat "$root/options")" -w -t 60 start >/dev/null
    ;;
  remove)
    if [ -f "$state/root" ]; then
      root=$(cat "$state/root")
      pg_ctl_in -m immediate -w stop >/dev/null 2>&1 || true
      case "$root" in /tmp/instkit-pg.*) rm -rf "$root" ;; esac
    fi
    rm -rf "$state"
    ;;
  *)
    echo "pg_cluster.sh: unknown command $command" >&2
    exit 2
    ;;
esac
