#!/usr/bin/env bash
# Runs the command-line program's update and dump on the simulated device as a Windows program
# under Wine, and checks what they did: the update's records carry the image's bytes, and the
# dump file holds exactly the flash bytes the device answered.
#   check-windows-cli.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
program_folder=$build/cli
cli=$program_folder/firmware-update-cli.exe
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all
prefix=$WINEPREFIX
work=$(mktemp -d)
trap 'rm -rf "$work"; rm -f "$program_folder/Velnor.bin" "$program_folder/Ombrel.bin"' EXIT

run_cli() {
    "$here/run-under-wine.sh" "$prefix" "$cli" "$@" </dev/null
}

# Hex of a file's bytes, upper case, no separators.
hex_of() {
    od -An -v -tx1 "$1" | tr -d ' \n' | tr 'a-f' 'A-F'
}

# 85 bytes: two whole records and a partial third, in the program's folder.
head -c 85 /dev/urandom >"$program_folder/Velnor.bin"
echo "update (Velnor.bin in the program's folder, 1 ms per transfer)"
run_cli --simulate --trace "$(winepath -w "$work/update.trace")" update
# The write-record reports: positions 9 to 48 of each ('>' length, then bytes 0 to L-1).
records=$(awk '$1 == ">" && $4 == "02" { for (i = 12; i <= 51; i++) printf "%s", $i }' \
    "$work/update.trace")
expected=$(hex_of "$program_folder/Velnor.bin")
expected=$expected$(printf '0%.0s' $(seq 1 $((3 * 80 - ${#expected}))))
[ "$records" = "$expected" ] || { echo "the update's records do not carry Velnor.bin"; exit 1; }

echo "dump (Ombrel.bin in the program's folder)"
FIRMWARE_UPDATE_SIMULATION="clock=virtual" run_cli --simulate --trace \
    "$(winepath -w "$work/dump.trace")" dump
# Each block answer carries its flash bytes at positions 4 to 35.
answered=$(awk '$1 == "<" { for (i = 7; i <= 38; i++) printf "%s", $i }' "$work/dump.trace")
dumped=$(hex_of "$program_folder/Ombrel.bin")
[ "${#dumped}" -eq $((2 * 1048576)) ] || { echo "Ombrel.bin is not 1 MiB"; exit 1; }
[ "$answered" = "$dumped" ] || { echo "Ombrel.bin differs from the flash the device sent"; exit 1; }
echo "the command-line program under Wine: update and dump as expected"
