#!/usr/bin/env bash
# Runs COMMAND with one Wine server kept up for its whole duration, so that every Windows
# program it starts (through run-under-wine.sh) finds Wine ready instead of starting it anew.
#   wine-session.sh PREFIX COMMAND [ARGUMENTS...]
set -euo pipefail
prefix=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=$prefix
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

# Makes the prefix when it is new (wineboot, once).
"$here/run-under-wine.sh" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1

# The server and Wine's own services get no terminal or pipe of ours: one that inherited the
# caller's output would keep it open, and whoever reads it waiting, until the server ends.
wineserver -p </dev/null >/dev/null 2>&1 || true  # fails only when one is up already
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"$here/run-under-wine.sh" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1

"$@"
