#!/usr/bin/env bash
# Drives the Windows window, firmware-update.exe, under Wine on the X display it is given (make
# test-windows gives it Xvfb), as a person would: the mouse clicks on the screen through X.
# What the window shows is read by tests/win32/window_probe.exe, which prints its controls and
# message boxes. Checks, at 96 DPI:
#   - the form's own tests (tests/win32: places, layers, fonts, fill, captions that fit);
#   - the start-up without Velnor.bin: the form in its design state, the "File Error" box, and
#     after OK the program ends;
#   - the start-up on the simulated device: the identity captions as the command-line program
#     lists them, "Update Firmware" enabled; a click on it writes Velnor.bin's bytes (from the
#     report trace) and finishes;
#   - closing during an update: the question, No by default; No lets the update finish, Yes ends
#     the program at the next report, the update unfinished;
# then at 144 DPI the form's tests again and the program's own form at that DPI.
#   check-windows-window.sh BUILD_DIR [SCREENSHOT_DIR]
# With SCREENSHOT_DIR, the form after its start-up is saved there at each DPI (ImageMagick).
set -euo pipefail
build=$(cd "$1" && pwd)
screenshots=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
program=$build/win32/firmware-update.exe
probe_program=$build/tests/win32/window_probe.exe
form_tests=$build/tests/win32/win32_window_tests.exe
cli=$build/cli/firmware-update-cli.exe
# A prefix of its own: its DPI changes here, and its Wine server runs on this display.
export WINEPREFIX=$build/wineprefix-window WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
work=$(mktemp -d)
running=""
trap 'status=$?; [ -z "$running" ] || kill "$running" 2>/dev/null; wineserver -k 2>/dev/null;
      rm -rf "$work"; exit $status' EXIT

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

# A folder holding the program alone, and Velnor.bin of SIZE bytes when SIZE is given.
program_folder() {
    local folder=$work/$1
    mkdir -p "$folder"
    cp "$program" "$folder/"
    [ -z "${2:-}" ] || head -c "$2" /dev/urandom >"$folder/Velnor.bin"
    echo "$folder"
}

# Starts the program in FOLDER with ARGUMENTS; its Wine process is $running.
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
# The update's last steps: the button disabled and the product caption cleared.
update_ended() {
    shows Command3 disabled && [ -z "$(text_of lblProduct)" ]
}
box_shown() {
    grep -q '^box ' "$work/state"
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

# A click with the mouse in the middle of what LINE (from the probe) places.
click() {
    local x y
    read -r x y < <(echo "$1" | awk '{ print $3 + int($5 / 2), $4 + int($6 / 2) }')
    xdotool mousemove --sync "$x" "$y" click 1
}

screenshot() {
    [ -n "$screenshots" ] || return 0
    mkdir -p "$screenshots"
    local form
    form=$(line_of form frmMain)
    import -window root -crop "$(echo "$form" | awk '{ printf "%dx%d+%d+%d", $5, $6, $3, $4 }')" \
        "$screenshots/window-win32-$1dpi.png"
}

# Hex of the write-record reports' image bytes in a trace (positions 9 to 48 of each report).
traced_records() {
    awk '$1 == ">" && $4 == "02" { for (i = 12; i <= 51; i++) printf "%s", $i }' "$1"
}
# Velnor.bin as its records carry it: a read more than the whole records it has, the positions
# the image does not fill zero.
image_hex() {
    local size
    size=$(stat -c %s "$1")
    { cat "$1"; head -c $(((size / 40 + 1) * 40 - size)) /dev/zero; } |
        od -An -v -tx1 | tr -d ' \n' | tr 'a-f' 'A-F'
}
finished() {
    awk '$1 == ">" && $4 == "03"' "$1" | grep -q .
}

use_dpi 96
echo "the form's tests at 96 DPI"
FWU_EXPECTED_DPI=96 wine "$form_tests" </dev/null

echo "start-up without Velnor.bin: the File Error box, then the end"
start_program "$(program_folder without-image)"
until_seen "File Error box" box_shown
line_of box box | grep -q ' File Error$' || fail "the box is not titled File Error"
grep -q '^text .* Cannot find Velnor.bin$' "$work/state" || fail "the box does not name Velnor.bin"
[ -z "$(text_of lblManuf)" ] && shows Command3 visible disabled && shows Pic hidden ||
    fail "the form behind the box is not in its design state"
click "$(grep '^button .* OK$' "$work/state")"
expect_exit 0

echo "start-up on the simulated device"
identity=$(wine "$cli" --simulate list </dev/null 2>/dev/null | tr -d '\r')
folder=$(program_folder with-image 4000)
start_program "$folder" --simulate --trace "$(windows_path "$work/update.trace")"
until_seen "enabled Update Firmware button" shows Command3 visible enabled
for field in 4:lblVersion 5:lblManuf 6:lblProduct 7:lblSerialNumber; do
    expected=" $(echo "$identity" | cut -f "${field%%:*}")"  # a caption starts with a space
    [ "$(text_of "${field#*:}")" = "$expected" ] || fail "${field#*:} does not show$expected"
done
screenshot 96

echo "a click on Update Firmware writes Velnor.bin into the device"
click "$(line_of control Command3)"
until_seen "end of the update" update_ended
[ "$(traced_records "$work/update.trace")" = "$(image_hex "$folder/Velnor.bin")" ] ||
    fail "the update's records do not carry Velnor.bin"
finished "$work/update.trace" || fail "the update sent no finish report"
wine "$probe_program" close </dev/null
expect_exit 0

# 2,001 records at 5 ms each: ten seconds of writing to close the window in.
export FIRMWARE_UPDATE_SIMULATION="latency-us=5000"
for answer in No Yes; do
    echo "closing during an update, answered $answer"
    folder=$(program_folder "close-$answer" 80000)
    trace=$work/close-$answer.trace
    start_program "$folder" --simulate --trace "$(windows_path "$trace")"
    until_seen "enabled Update Firmware button" shows Command3 visible enabled
    click "$(line_of control Command3)"
    until_seen "progress bar" shows Pic visible
    wine "$probe_program" close </dev/null
    until_seen "question on closing" box_shown
    grep -q '^text .* Close anyway?$' "$work/state" || fail "the box does not ask to close"
    grep -q '^button default .* &No$' "$work/state" || fail "No is not the default answer"
    click "$(grep "^button .* &$answer\$" "$work/state")"
    if [ "$answer" = No ]; then
        until_seen "end of the update" update_ended
        finished "$trace" || fail "the update did not finish after No"
        wine "$probe_program" close </dev/null
    fi
    expect_exit 0
    written=$(awk '$1 == ">" && $4 == "02"' "$trace" | wc -l)
    if [ "$answer" = Yes ]; then
        ! finished "$trace" && [ "$written" -lt 2001 ] ||
            fail "the update went on after Yes ($written records)"
    fi
done
unset FIRMWARE_UPDATE_SIMULATION

use_dpi 144
echo "the form's tests at 144 DPI"
FWU_EXPECTED_DPI=144 wine "$form_tests" </dev/null
echo "the program's form at 144 DPI"
start_program "$(program_folder at-144-dpi 4000)" --simulate
until_seen "enabled Update Firmware button" shows Command3 visible enabled
line_of form frmMain | grep -q ' 542 264$' || fail "the form is not 5415 x 2640 twips at 144 DPI"
line_of control Command3 | grep -q ' 193 50 ' || fail "Update Firmware is not 1930 x 495 twips"
screenshot 144
wine "$probe_program" close </dev/null
expect_exit 0
use_dpi 96
echo "the window under Wine: as designed at 96 and 144 DPI, start-up, update and close as expected"
