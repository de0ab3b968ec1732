#!/bin/sh
# Adding a folder of N media files to the main window (probing included), with an empty probe
# cache and again with a full one; the list's operations on N rows; the longest stall of the
# user-interface thread; memory. Runs R times, each with an empty cache, and prints every run
# and the median of each figure, with the machine's load average before and after.
# usage: bench/filelist_bench.sh [BUILD_DIR] [N] [R]     (defaults: build 5000 3)
set -e
build=${1:-build}
n=${2:-5000}
runs=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=640x360:rate=25:duration=10 \
    -f lavfi -i sine=frequency=440:duration=10 -map 0:v -map 1:a -c:v libx264 -preset veryfast -c:a aac \
    "$work/clip.mp4"
echo "$n files (hard links to one 10 s 640x360 H.264/AAC clip), $(nproc) processors, load before: $(cut -d' ' -f1-3 /proc/loadavg)"
i=1
while [ "$i" -le "$runs" ]; do
    rm -rf "$work/home"
    mkdir -p "$work/home"
    HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" QT_QPA_PLATFORM=offscreen \
        "$build/bin/vanto-filelist-bench" "$work/clip.mp4" "$work/folder" "$n" 2>/dev/null | tee -a "$work/runs"
    i=$((i + 1))
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
# The median of every key=value figure over the runs.
awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = v[kv[1]] " " kv[2]; keys[i] = kv[1] } nk = NF }
     END { printf "median:"
           for (i = 1; i <= nk; i++) { m = split(substr(v[keys[i]], 2), a, " ")
             for (x = 1; x <= m; x++) for (y = x + 1; y <= m; y++) if (a[y] + 0 < a[x] + 0) { t = a[x]; a[x] = a[y]; a[y] = t }
             printf " %s=%s", keys[i], a[int((m + 1) / 2)] }
           printf "\n" }' "$work/runs"
