#!/usr/bin/env bash
# Runs a command (typically ctest) with one persistent wineserver for the
# whole run, so that each Windows program started by scripts/wine64-run.sh
# does not start and stop a server of its own.  Creates the wine prefix first
# when it is missing, and stops the server at the end whatever the outcome.
#   scripts/wine64-session.sh ctest --test-dir build-win64 --output-on-failure
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="${INSTKIT_WINEPREFIX:-${HOME:-/tmp}/.cache/instkit-wine64}"
export INSTKIT_WINEPREFIX="$WINEPREFIX"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$(dirname "$WINEPREFIX")"
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine: creating prefix $WINEPREFIX" >&2
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  "$wineserver" -w
fi
"$wineserver" -p
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
# Start wine's own background processes (services, explorer) now, detached
# from any pipe: started by the first test program instead, they would
# inherit its output pipe and CTest would wait for them until its timeout.
/usr/lib/wine/wine64 wineboot >/dev/null 2>&1 </dev/null || true
"$@"
