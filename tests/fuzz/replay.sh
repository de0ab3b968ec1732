#!/bin/sh
# Runs a fuzz target once on every file of the given folders (seeds and past findings); fails
# when any input makes it fail or runs longer than VANTO_FUZZ_TIMEOUT seconds (default 60).
set -e
fuzzer=$1
shift
# Absolute names: the targets work in a scratch folder of their own.
files=$(find "$@" -type f 2>/dev/null | sort | xargs -r realpath)
[ -n "$files" ] || { echo "no inputs in $*"; exit 1; }
# shellcheck disable=SC2086
exec "$fuzzer" -rss_limit_mb=2048 -timeout="${VANTO_FUZZ_TIMEOUT:-60}" $files
