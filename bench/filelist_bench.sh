#!/bin/sh
# Times adding a folder of 500 media files to the main window (probing included) and reports
# the longest stall of the user-interface thread. usage: bench/filelist_bench.sh [BUILD_DIR] [N]
set -e
build=${1:-build}
n=${2:-500}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=640x360:rate=25:duration=10 \
    -f lavfi -i sine=frequency=440:duration=10 -map 0:v -map 1:a -c:v libx264 -preset veryfast -c:a aac \
    "$work/clip.mp4"
export HOME="$work/home"
mkdir -p "$HOME"
QT_QPA_PLATFORM=offscreen "$build/bin/vanto-filelist-bench" "$work/clip.mp4" "$work/folder" "$n" 2>/dev/null
