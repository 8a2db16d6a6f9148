#!/usr/bin/env bash
# The command-line front end on the simulated device: the device list, an update with its
# progress line, and a flash dump. Usage: scripts/demo-terminal.sh [BUILD_DIR]
set -euo pipefail
build_dir=${1:-build}
cli="$build_dir/cli/firmware-update-cli"
[ -x "$cli" ] || { echo "$cli is not built: run make demo-terminal" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 98304 /dev/urandom > "$work/Velnor.bin"

show() {
    echo
    echo "\$ firmware-update-cli $*"
    "$cli" "$@"
}

echo "Firmware Update on a simulated device (about 1 ms per report, like a real one)."
echo "Sample image: $work/Velnor.bin, 98304 bytes. Each command starts a fresh simulated device."
show --simulate list
show --simulate update "$work/Velnor.bin"
echo
echo "The dump reads 32768 blocks; this one runs at 0.1 ms per report to keep it short."
FIRMWARE_UPDATE_SIMULATION="latency-us=100" show --simulate dump "$work/Ombrel.bin"
echo
echo "More: $cli --help"
