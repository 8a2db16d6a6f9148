#!/usr/bin/env bash
# Checks the zip of make package-windows as a Windows user gets it, under Wine on the X display
# it is given (scripts/wine-window.sh): the zip holds the two programs and README.txt only, its
# SHA-256 file matches it, both programs carry a valid Authenticode signature (SHA-256) by the
# certificate given, they import only DLLs that Windows never takes from the program's folder,
# and both start from a folder whose name has spaces and characters outside the ANSI code page,
# with nothing else in it: the window shows the "File Error" box there, the command-line program
# lists the simulated device. Then, with a Velnor.bin added, the command-line program updates the
# simulated device and the window shows its captions.
#   check-windows-package.sh ZIP BUILD_DIR SIGNER_CERT
set -euo pipefail
zip=$(realpath "$1")
build=$(cd "$2" && pwd)
signer=$(realpath "$3")
# shellcheck source=wine-window.sh
source "$(dirname "$0")/wine-window.sh"
expected_files="README.txt firmware-update-cli.exe firmware-update.exe"

files=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$files" = "$expected_files " ] || fail "the zip holds $files"
(cd "$(dirname "$zip")" && sha256sum --quiet -c "$zip.sha256") ||
    fail "the zip's SHA-256 file does not match the zip"

use_dpi 96
folder="$WINEPREFIX/drive_c/users/Public/Прошивка 固件 ✓ Firmware Update"
rm -rf "$folder"
mkdir -p "$folder"
cleanup_paths+=("$folder")
unzip -q "$zip" -d "$folder"
grep -q $'\r$' "$folder/README.txt" || fail "README.txt lacks Windows line ends"

for program in firmware-update.exe firmware-update-cli.exe; do
    echo "$program is signed, with SHA-256, by the certificate given"
    osslsigncode verify -CAfile "$signer" -in "$folder/$program" >"$work/verify.out" 2>&1 ||
        fail "the signature of $program does not verify: $(cat "$work/verify.out")"
    grep -q 'Message digest algorithm *: SHA256' "$work/verify.out" ||
        fail "$program is not signed with SHA-256: $(cat "$work/verify.out")"
done
"$(dirname "$0")/check-windows-imports.sh" "$folder"/*.exe

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
