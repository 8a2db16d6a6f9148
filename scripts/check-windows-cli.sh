#!/usr/bin/env bash
# Runs the command-line program's update and dump on the simulated device as a Windows program
# under Wine, and checks what they did: the update's records carry the image's bytes, and the
# dump file holds exactly the flash bytes the device answered. Then the program in a drive root
# and in a folder named outside the ANSI code page, a path in such a folder on its command line,
# a dump into a device name, two programs appending to one log, and the manifest the program
# carries.
#   check-windows-cli.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
program_folder=$build/cli
cli=$program_folder/firmware-update-cli.exe
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all
# Wine takes the arguments it hands on as UTF-8 only in a UTF-8 locale.
export LC_ALL=C.UTF-8
prefix=$WINEPREFIX
work=$(mktemp -d)
drive_root=$prefix/drive_c
unusual="$work/Прошивка 固件 ✓"
trap 'rm -rf "$work"; rm -f "$program_folder/Velnor.bin" "$program_folder/Ombrel.bin" \
    "$drive_root/firmware-update-cli.exe" "$drive_root/Velnor.bin" "$drive_root/Ombrel.bin"' EXIT

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

# The program's folder is a drive root, or named outside the ANSI code page: the update finds and
# reads Velnor.bin there, the dump writes Ombrel.bin there.
mkdir -p "$unusual"
for folder in "$drive_root" "$unusual"; do
    echo "update and dump with the program in $folder"
    cp "$cli" "$program_folder/Velnor.bin" "$folder/"
    "$here/run-under-wine.sh" "$prefix" "$folder/firmware-update-cli.exe" --simulate --quiet \
        update </dev/null
    FIRMWARE_UPDATE_SIMULATION="clock=virtual" "$here/run-under-wine.sh" "$prefix" \
        "$folder/firmware-update-cli.exe" --simulate --quiet dump </dev/null
    [ "$(stat -c %s "$folder/Ombrel.bin")" -eq 1048576 ] || { echo "no dump in $folder"; exit 1; }
done

echo "dump into a path outside the ANSI code page, given on the command line"
rm "$unusual/Ombrel.bin"
FIRMWARE_UPDATE_SIMULATION="clock=virtual" run_cli --simulate dump \
    "$(winepath -w "$unusual/Ombrel.bin")" 2>/dev/null >"$work/dump.out" ||
    { echo "the dump into $unusual failed: the path did not arrive whole"; exit 1; }
[ "$(stat -c %s "$unusual/Ombrel.bin")" -eq 1048576 ] || { echo "no dump in $unusual"; exit 1; }
grep -q "Прошивка 固件 ✓" "$work/dump.out" || { echo "the path was not shown whole"; exit 1; }

echo "dump into NUL: refused before the device is asked, exit status 4"
status=0
run_cli --simulate dump NUL >/dev/null 2>"$work/nul.err" || status=$?
[ "$status" -eq 4 ] && grep -q "NUL is not a file" "$work/nul.err" ||
    { echo "a dump into NUL ended with status $status"; cat "$work/nul.err"; exit 1; }

echo "two programs append to one log at once (LockFileEx, FILE_APPEND_DATA)"
log=$work/line.log
printf '{}\n' >"$log"
for station in 1 2; do
    FIRMWARE_UPDATE_SIMULATION="clock=virtual;latency-us=0;devices=8" run_cli --simulate --quiet \
        --all --log "$(winepath -w "$log")" erase &
    pids[station]=$!
done
wait "${pids[1]}" && wait "${pids[2]}" || { echo "a program appending to the log failed"; exit 1; }
whole=$(grep -c '^{"device":"sim:hid[0-7]",.*"command":"erase","outcome":"succeeded",.*}\r\?$' "$log")
[ "$(wc -l <"$log")" -eq 17 ] && [ "$whole" -eq 16 ] ||
    { echo "the log does not hold both programs' lines whole"; cat "$log"; exit 1; }

# Without asInvoker, Windows asks for administrator rights for a program whose name contains
# "update". The manifest is a resource of the program, in plain text.
grep -q 'requestedExecutionLevel level="asInvoker"' "$cli" && grep -q longPathAware "$cli" ||
    { echo "firmware-update-cli.exe carries no manifest with asInvoker and longPathAware"; exit 1; }
echo "the command-line program under Wine: update and dump as expected"
