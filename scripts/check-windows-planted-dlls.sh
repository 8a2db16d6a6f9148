#!/usr/bin/env bash
# Plants DLLs named as the system DLLs the programs use while they run (hid.dll, setupapi.dll,
# cfgmgr32.dll, bcrypt.dll, and the window's oleacc.dll and oleaut32.dll) next to each program and
# in the current folder, as anyone who can write to the folder a user unzipped the programs into
# could. Each leaves a mark beside itself when a process loads it (tests/windows/planted_dll.cpp). First the DLL is seen to leave its mark when loaded;
# then the command line lists the simulated device and searches Wine's HID interfaces, and the
# window starts on the simulated device, and no mark may appear. Runs on the X display it is
# given (scripts/wine-window.sh).
#   check-windows-planted-dlls.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
# shellcheck source=wine-window.sh
source "$(dirname "$0")/wine-window.sh"
planted_names="hid.dll setupapi.dll cfgmgr32.dll bcrypt.dll oleacc.dll oleaut32.dll"

plant() {  # FOLDER
    mkdir -p "$1"
    for name in $planted_names; do
        cp "$build/tests/windows/planted.dll" "$1/$name"
    done
}
# Fails when a planted DLL was loaded, by its mark; Windows may spell its name in capitals.
none_loaded_by() {  # PROGRAM
    local marks
    marks=$(find "$work" -iname '*.dll.loaded' -printf '%P ')
    [ -z "$marks" ] || fail "$1 loaded planted DLLs, which left: $marks"
}

echo "the planted DLL leaves its mark when a process loads it"
plant "$work/control"
wine rundll32 "$(windows_path "$work/control/hid.dll"),Load" </dev/null >/dev/null 2>&1 || true
[ -e "$work/control/hid.dll.loaded" ] || fail "the planted DLL left no mark when loaded"
rm -rf "$work/control"

current=$work/current
plant "$current"
for program in cli/firmware-update-cli.exe win32/firmware-update.exe; do
    folder=$work/$(basename "$program" .exe)
    plant "$folder"
    cp "$build/$program" "$folder/"
done

echo "the command line with the DLLs next to it and in the current folder"
cli() {
    (cd "$current" &&
        timeout 120 wine "$work/firmware-update-cli/firmware-update-cli.exe" "$@" </dev/null 2>&1)
}
listed=$(cli --simulate list) || true
none_loaded_by firmware-update-cli.exe
[[ "$listed" == *$'sim:hid0\tapplication\t'* ]] || fail "no simulated device listed: $listed"
status=0
listed=$(cli list) || status=$?
none_loaded_by firmware-update-cli.exe
[ "$status" -eq 3 ] || fail "list over Wine's HID interfaces ended with $status: $listed"

echo "the window with the DLLs next to it and in the current folder"
head -c 4000 /dev/urandom >"$work/firmware-update/Velnor.bin"
(cd "$current" && exec wine "$work/firmware-update/firmware-update.exe" --simulate \
    </dev/null >/dev/null 2>&1) &
running=$!
until_seen "enabled Update Firmware button" shows Command3 visible enabled
close_window
expect_exit 0
none_loaded_by firmware-update.exe
echo "neither program loaded a DLL planted next to it or in the current folder"
