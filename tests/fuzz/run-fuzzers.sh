#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, from its seed corpus, and prints how many inputs
# each tried. New inputs go to a working corpus in the build folder; the committed seeds stay
# as they are. A finding is kept under <build>/fuzz-findings and fails the run.
# Usage: run-fuzzers.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
findings="$build/fuzz-findings"
mkdir -p "$findings"

status=0
for target in report_descriptor uevent identity_string; do
    work="$build/fuzz-corpus/$target"
    log="$build/fuzz-$target.log"
    mkdir -p "$work"
    echo "Fuzzing $target for $seconds s"
    if "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$work" "$here/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "  $target: ${runs:-?} inputs tried, no finding ($(ls "$work" | wc -l) in the corpus)"
    else
        echo "  $target: FINDING, see $log and $findings" >&2
        tail -n 30 "$log" >&2
        status=1
    fi
done
exit $status
