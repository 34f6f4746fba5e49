#!/usr/bin/env bash
# Runs one 64-bit Windows program under wine64, headless.  CMake and CTest use
# this as the emulator of the 64-bit MinGW build.
#   - The prefix is $INSTKIT_WINEPREFIX (default ~/.cache/instkit-wine64); it
#     is created on first use, without the Mono and Gecko installers (their
#     dialog would wait forever).
#   - No display: MessageBoxA then returns at once instead of opening a
#     window, so a test can never hang on a real message box.
#   - Wine's own diagnostics are off unless WINEDEBUG is set.
# Start one persistent wineserver around many runs (scripts/wine64-session.sh)
# or every program pays for a server start of its own.
set -euo pipefail
export WINEPREFIX="${INSTKIT_WINEPREFIX:-${HOME:-/tmp}/.cache/instkit-wine64}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
unset DISPLAY WAYLAND_DISPLAY
exec /usr/lib/wine/wine64 "$@"
