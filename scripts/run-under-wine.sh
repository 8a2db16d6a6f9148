#!/usr/bin/env bash
# Runs a Windows program under Wine: run-under-wine.sh PREFIX PROGRAM [ARGUMENTS...]
# Quiet and headless; the prefix is made once (wineboot), guarded against parallel callers.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompts: the programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$(dirname "$prefix")"
if [ ! -f "$prefix/system.reg" ]; then
    (
        flock 9
        [ -f "$prefix/system.reg" ] || wine wineboot --init >/dev/null 2>&1
        wineserver -w
    ) 9>"$prefix.lock"
fi
exec wine "$@"
