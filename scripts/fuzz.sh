#!/bin/sh
# Fuzzes every target for SECONDS seconds (default 60), one after another, starting from its seeds
# and past findings. Inputs it finds go to build-asan/fuzz-corpus/<target>; a failing input is
# saved as build-asan/fuzz-findings/<target>-crash-... and makes the script fail.
#   ./scripts/fuzz.sh [SECONDS] [TARGET...]     (targets: option_text probe preset options_file
#                                                 lang catalogue para_info page)
set -e
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"option_text probe preset options_file lang catalogue para_info page"}
./scripts/sanitize-build.sh
root=$(pwd)
findings=$root/build-asan/fuzz-findings
mkdir -p "$findings"
status=0
for t in $targets; do
    work=$root/build-asan/fuzz-corpus/$t
    mkdir -p "$work"
    seeds=$root/tests/fuzz/corpus/$t
    old=$root/tests/fuzz/regressions/$t
    [ -d "$old" ] || old=""
    log=$root/build-asan/fuzz-$t.log
    # Time allowed for one input: a page must be read within a fraction of a second.
    limit=60
    [ "$t" = page ] && limit=3
    echo "fuzzing $t for $seconds s"
    # shellcheck disable=SC2086
    if ! "$root/build-asan/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout="$limit" \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/$t-" "$work" "$seeds" $old \
        >"$log" 2>&1; then
        echo "FAILED: $t (see $log and $findings)"
        status=1
    fi
    grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "$log" | tail -2 || true
done
exit $status
