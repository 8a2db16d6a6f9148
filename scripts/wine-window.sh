# Drives firmware-update.exe under Wine on the X display in DISPLAY, as a person would: the mouse
# clicks on the screen through X, and tests/win32/window_probe.exe reads what the window shows
# (its controls and message boxes, one line each). Sourced by the scripts that check the window;
# they set `build` (a Windows build folder) first.
# shellcheck shell=bash disable=SC2154  # `build` is the sourcing script's
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
probe_program=$build/tests/win32/window_probe.exe
# A prefix of its own: its DPI changes here, and its Wine server runs on this display.
export WINEPREFIX=$build/wineprefix-window WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the arguments it hands on, and the folder names, as UTF-8 only in a UTF-8 locale.
export LC_ALL=C.UTF-8
work=$(mktemp -d)
running=""
cleanup_paths=("$work")  # removed at the end, with what a script adds
trap 'status=$?; [ -z "$running" ] || kill "$running" 2>/dev/null || true
      wineserver -k 2>/dev/null || true  # fails when no server is up
      rm -rf "${cleanup_paths[@]}"; exit $status' EXIT

fail() {
    echo "FAILED: $*"
    [ ! -s "$work/state" ] || { echo "what the window showed:"; cat "$work/state"; }
    exit 1
}

# Wine at a DPI: HKCU\Control Panel\Desktop\LogPixels, read by Wine's processes as they start.
use_dpi() {
    "$here/run-under-wine.sh" "$WINEPREFIX" cmd /c exit </dev/null >/dev/null 2>&1  # makes it
    wineserver -w
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        </dev/null >/dev/null 2>&1
    wineserver -w
}

windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}

# Starts firmware-update.exe in FOLDER with ARGUMENTS; its Wine process is $running.
start_program() {
    local folder=$1
    shift
    (cd "$folder" && exec wine "$folder/firmware-update.exe" "$@" </dev/null >/dev/null 2>&1) &
    running=$!
}

# Waits for the program to end; fails unless its exit status is STATUS.
expect_exit() {
    local status=0
    for _ in $(seq 1 150); do
        kill -0 "$running" 2>/dev/null || break
        sleep 0.2
    done
    kill -0 "$running" 2>/dev/null && fail "the program did not end"
    wait "$running" || status=$?
    running=""
    [ "$status" -eq "$1" ] || fail "the program ended with status $status, not $1"
}

# Asks the window to close, as its close box does.
close_window() {
    wine "$probe_program" close </dev/null
}

# What the window shows now, into $work/state.
look() {
    wine "$probe_program" </dev/null 2>/dev/null | tr -d '\r' >"$work/state" || true
}
line_of() {  # KIND NAME
    awk -v kind="$1" -v name="$2" '$1 == kind && $2 == name' "$work/state" | head -1
}
text_of() {  # CONTROL
    line_of control "$1" | cut -d' ' -f9-
}
shows() {  # CONTROL STATE..., e.g. shows Command3 visible enabled
    local line
    line=$(line_of control "$1")
    shift
    for state in "$@"; do
        [[ " $line " == *" $state "* ]] || return 1
    done
}
box_shown() {
    grep -q '^box ' "$work/state"
}
# The start-up without Velnor.bin: the form in its design state behind the File Error box.
file_error_shown() {
    box_shown && line_of box box | grep -q ' File Error$' &&
        grep -q '^text .* Cannot find Velnor.bin$' "$work/state" &&
        [ -z "$(text_of lblManuf)" ] && shows Command3 visible disabled && shows Pic hidden
}
until_seen() {  # DESCRIPTION COMMAND...: looks until COMMAND holds, for up to a minute
    local description=$1
    shift
    for _ in $(seq 1 120); do
        look
        "$@" && return 0
        kill -0 "$running" 2>/dev/null || fail "the program ended before $description"
        sleep 0.3
    done
    fail "no $description within a minute"
}

# A key pressed on the keyboard, into the form: without a window manager the X server gives
# the keyboard to no window until one is chosen, as a click on the form would.
press() {  # KEY, as xdotool names it
    xdotool search --name "^Firmware Update\$" windowfocus --sync
    xdotool key "$1"
}

# A click with the mouse in the middle of what LINE (from the probe) places.
click() {
    local x y
    read -r x y < <(echo "$1" | awk '{ print $3 + int($5 / 2), $4 + int($6 / 2) }')
    xdotool mousemove --sync "$x" "$y" click 1
}
