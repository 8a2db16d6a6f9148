#!/usr/bin/env bash
# Checks the zip of make package-windows as a Windows user gets it, under Wine on the X display
# it is given (scripts/wine-window.sh): the zip holds the two programs and README.txt only, the
# programs need no DLL that Windows lacks, and both start from a folder whose name has spaces
# and characters outside the ANSI code page, with nothing else in it: the window shows the
# "File Error" box there, the command-line program lists the simulated device. Then, with a
# Velnor.bin added, the command-line program updates the simulated device and the window shows
# its captions.
#   check-windows-package.sh ZIP BUILD_DIR
set -euo pipefail
zip=$(realpath "$1")
build=$(cd "$2" && pwd)
# shellcheck source=wine-window.sh
source "$(dirname "$0")/wine-window.sh"
expected_files="README.txt firmware-update-cli.exe firmware-update.exe"

files=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$files" = "$expected_files " ] || fail "the zip holds $files"

use_dpi 96
system32=$WINEPREFIX/drive_c/windows/system32
folder="$WINEPREFIX/drive_c/users/Public/Прошивка 固件 ✓ Firmware Update"
rm -rf "$folder"
mkdir -p "$folder"
cleanup_paths+=("$folder")
unzip -q "$zip" -d "$folder"
grep -q $'\r$' "$folder/README.txt" || fail "README.txt lacks Windows line ends"

for program in firmware-update.exe firmware-update-cli.exe; do
    echo "$program needs only DLLs of Windows itself"
    x86_64-w64-mingw32-objdump -p "$folder/$program" | sed -n 's/^\s*DLL Name: //p' |
        while read -r dll; do
            [ -n "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
                fail "$program needs $dll, which Windows does not have"
        done
done

echo "in $folder alone: the window says that Velnor.bin is missing"
[ "$(find "$folder" -mindepth 1 | wc -l)" -eq 3 ] || fail "the folder holds more than the zip"
start_program "$folder"
until_seen "File Error box over the form in its design state" file_error_shown
click "$(grep '^button .* OK$' "$work/state")"
expect_exit 0

echo "the command-line program lists the simulated device"
cli() {
    (cd "$folder" && wine "$folder/firmware-update-cli.exe" "$@" </dev/null 2>&1 | tr -d '\r')
}
cli --simulate list | grep -q $'^sim:hid0\tapplication\t' || fail "no simulated device listed"

echo "with Velnor.bin added: an update on the command line, the captions in the window"
head -c 400 /dev/urandom >"$folder/Velnor.bin"
cli --simulate --quiet update || fail "the command-line program's update failed"
start_program "$folder" --simulate
until_seen "enabled Update Firmware button" shows Command3 visible enabled
[ "$(text_of lblManuf)" = " Simulated Devices" ] || fail "no manufacturer caption"
close_window
expect_exit 0
echo "the zip under Wine: both programs start from $folder"
