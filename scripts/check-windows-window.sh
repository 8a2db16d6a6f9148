#!/usr/bin/env bash
# Drives the Windows window, firmware-update.exe, under Wine on the X display it is given (make
# test-windows gives it Xvfb), as a person would (scripts/wine-window.sh). At 96 DPI:
#   - the form's own tests (tests/win32: places, layers, fonts, fill, captions that fit);
#   - the start-up without Velnor.bin: the form in its design state, the "File Error" box, and
#     after OK the program ends;
#   - the start-up on the simulated device (with --trace=FILE): the identity captions as the
#     command-line program lists them, "Update Firmware" enabled; a click on it writes
#     Velnor.bin's bytes (from the report trace) and finishes;
#   - the start-up without a device: the identity area says so, "Update Firmware" disabled; a
#     device that arrives is shown, "Update Firmware" enabled;
#   - closing during an update started from the keyboard (Enter, then Space): the question, No
#     by default; No lets the update finish, Yes ends the program at the next report, the update
#     unfinished;
# then at 144 DPI the form's tests again and the program's own form at that DPI.
#   check-windows-window.sh BUILD_DIR [SCREENSHOT_DIR]
# With SCREENSHOT_DIR, the form after its start-up is saved there at each DPI (ImageMagick).
set -euo pipefail
build=$(cd "$1" && pwd)
screenshots=${2:-}
# shellcheck source=wine-window.sh
source "$(dirname "$0")/wine-window.sh"
form_tests=$build/tests/win32/win32_window_tests.exe
cli=$build/cli/firmware-update-cli.exe

# A folder holding the program alone, and Velnor.bin of SIZE bytes when SIZE is given.
program_folder() {
    local folder=$work/$1
    mkdir -p "$folder"
    cp "$build/win32/firmware-update.exe" "$folder/"
    [ -z "${2:-}" ] || head -c "$2" /dev/urandom >"$folder/Velnor.bin"
    echo "$folder"
}

# The update's last steps: the button disabled and the product caption cleared.
update_ended() {
    shows Command3 disabled && [ -z "$(text_of lblProduct)" ]
}

screenshot() {  # DPI [NAME_SUFFIX]
    [ -n "$screenshots" ] || return 0
    mkdir -p "$screenshots"
    local area
    area=$(line_of form frmMain | awk '{ printf "%dx%d+%d+%d", $5, $6, $3, $4 }')
    import -window root -crop "$area" "$screenshots/window-win32-$1dpi${2:-}.png"
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
until_seen "File Error box over the form in its design state" file_error_shown
click "$(grep '^button .* OK$' "$work/state")"
expect_exit 0

echo "start-up on the simulated device"
identity=$(wine "$cli" --simulate list </dev/null 2>/dev/null | tr -d '\r')
folder=$(program_folder with-image 4000)
start_program "$folder" --simulate --trace="$(windows_path "$work/update.trace")"
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
close_window
expect_exit 0

echo "start-up without a device: the identity area says so, then shows the device that arrives"
export FIRMWARE_UPDATE_SIMULATION="arrive-ms=20000"
start_program "$(program_folder without-device 4000)" --simulate
until_seen "the words in place of the values" shows lblStatus visible
[ "$(text_of lblStatus)" = "No device found. Connect the device to this computer." ] ||
    fail "the identity area does not say that no device is connected"
shows Command3 disabled && shows lblManuf hidden || fail "values or an enabled button shown"
screenshot 96 -no-device
until_seen "the device that arrived" shows Command3 visible enabled
shows lblStatus hidden && [ "$(text_of lblSerialNumber)" = " SIM-100001" ] ||
    fail "the device that arrived is not shown"
close_window
expect_exit 0

# 2,001 records at 5 ms each: ten seconds of writing to close the window in.
export FIRMWARE_UPDATE_SIMULATION="latency-us=5000"
for answer in No Yes; do
    key=$([ "$answer" = No ] && echo Return || echo space)
    echo "closing during an update started with $key, answered $answer"
    folder=$(program_folder "close-$answer" 80000)
    trace=$work/close-$answer.trace
    start_program "$folder" --simulate --trace "$(windows_path "$trace")"
    until_seen "enabled Update Firmware button" shows Command3 visible enabled
    press "$key"
    until_seen "progress bar" shows Pic visible
    close_window
    until_seen "question on closing" box_shown
    grep -q '^text .* Close anyway?$' "$work/state" || fail "the box does not ask to close"
    grep -q '^button default .* &No$' "$work/state" || fail "No is not the default answer"
    click "$(grep "^button .* &$answer\$" "$work/state")"
    if [ "$answer" = No ]; then
        until_seen "end of the update" update_ended
        finished "$trace" || fail "the update did not finish after No"
        close_window
    fi
    expect_exit 0
    written=$(awk '$1 == ">" && $4 == "02"' "$trace" | wc -l)
    if [ "$answer" = Yes ] && { finished "$trace" || [ "$written" -eq 2001 ]; }; then
        fail "the update went on after Yes ($written records)"
    fi
done
unset FIRMWARE_UPDATE_SIMULATION

use_dpi 144
echo "the form's tests at 144 DPI"
FWU_EXPECTED_DPI=144 wine "$form_tests" </dev/null
echo "the program's form at 144 DPI, its image in a folder given with --folder"
images=$(program_folder "images Прошивка" 4000)
start_program "$(program_folder at-144-dpi)" --simulate --folder "$(windows_path "$images")"
until_seen "enabled Update Firmware button" shows Command3 visible enabled
line_of form frmMain | grep -q ' 542 264$' || fail "the form is not 5415 x 2640 twips at 144 DPI"
line_of control Command3 | grep -q ' 193 50 ' || fail "Update Firmware is not 1930 x 495 twips"
screenshot 144
close_window
expect_exit 0
use_dpi 96
echo "the window under Wine: as designed at 96 and 144 DPI, start-up, update and close as expected"
