#!/usr/bin/env bash
# Two Windows programs under Wine want one device: while one holds it the other is refused it,
# and once the holder is killed (SIGKILL to its process: no chance to let go of anything) the
# device is free again.
#   claims_between_programs.sh DEVICE_CLAIM_TOOL.exe WINEPREFIX
set -euo pipefail
tool=$1
prefix=$2
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
path='\\?\hid#vid_7a5d&pid_0a11#claims-between-programs#'$$
work=$(mktemp -d)
holder=
trap '[ -z "$holder" ] || kill -9 "$holder" 2>/dev/null; rm -rf "$work"' EXIT

try() { "$scripts/run-under-wine.sh" "$prefix" "$tool" try "$path" </dev/null; }
fail() { echo "FAILED: $*"; exit 1; }

try || fail "a device no program holds was refused"
mkfifo "$work/said"
"$scripts/run-under-wine.sh" "$prefix" "$tool" hold "$path" </dev/null >"$work/said" &
holder=$!
read -r said <"$work/said"
said=${said%$'\r'}  # the C runtime of Windows ends its lines with CR LF
[ "$said" = held ] || fail "the holder did not take the device"
! try || fail "the device was taken while another program held it"
kill -9 "$holder"
wait "$holder" 2>/dev/null || true
holder=
try || fail "the device stayed held after its holder was killed"
echo "refused while another program held the device, free once that program was killed"
