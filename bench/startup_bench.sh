#!/bin/bash
# Start-up time: from the program's start to its main window on the display, with warm caches
# and with the program's own files out of the page cache.
#
#   bench/startup_bench.sh [BUILD_DIR] [RUNS]
#
# Runs the real-window test tests/realwindow/main_window_test.sh RUNS times (default 5) for each
# case under its own Xvfb and prints every time and the median. "Cold" evicts, before each run,
# every file the program had mapped in a warm run (the program, the Qt, FFmpeg and SDL libraries,
# the fonts) and the program folder's data files, with posix_fadvise(DONTNEED): the rest of the
# machine's cache stays, so other work on a shared machine is not disturbed. Not part of the
# test suite; say what else ran (the load average is printed).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-5}
BIN="$BUILD/bin"
[ -x "$BIN/vanto" ] || { echo "no $BIN/vanto: build first (cmake --build $BUILD)" >&2; exit 1; }
SHOTS=$(mktemp -d /tmp/vanto-startup-bench-XXXXXX)
trap 'rm -rf "$SHOTS"' EXIT

one_run() {
    sh tests/realwindow/run_xvfb.sh sh tests/realwindow/main_window_test.sh "$BIN" "$SHOTS" |
        sed -n 's/^main window on screen after \([0-9]*\) ms$/\1/p'
}

# The files a running program has mapped, read from /proc while a warm run is on screen.
mapped_files() {
    sh tests/realwindow/run_xvfb.sh sh -c '
        "$1/vanto" >/dev/null 2>&1 & p=$!
        sleep 3
        awk "\$6 ~ /^\// {print \$6}" /proc/$p/maps | sort -u
        kill $p; wait $p 2>/dev/null' sh "$(cd "$BIN" && pwd)"
    find "$BIN" -type f
}

evict() {
    python3 - "$@" <<'EOF'
import os, sys
for path in sys.argv[1:]:
    try:
        fd = os.open(path, os.O_RDONLY)
    except OSError:
        continue
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    os.close(fd)
EOF
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "== load: $(cut -d' ' -f1-3 /proc/loadavg) (1/5/15 min), $(nproc) processors"
one_run >/dev/null  # fills the caches
mapfile -t FILES < <(mapped_files)
echo "== cold: ${#FILES[@]} files evicted before each run"
cold=()
for ((i = 0; i < RUNS; i++)); do
    evict "${FILES[@]}"
    cold+=("$(one_run)")
done
warm=()
for ((i = 0; i < RUNS; i++)); do
    warm+=("$(one_run)")
done
echo "cold ms: ${cold[*]}  median $(printf '%s\n' "${cold[@]}" | median)"
echo "warm ms: ${warm[*]}  median $(printf '%s\n' "${warm[@]}" | median)"
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg) (1/5/15 min)"
