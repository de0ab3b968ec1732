#!/bin/bash
# Conversion speed: vanto-convert engine against the ffmpeg command line with the same encoder
# settings and thread count.
#
#   bench/convert_bench.sh [BUILD_DIR] [RUNS] [THREADS] [SECONDS]
#
# Makes a 1080p test clip (H.264 + AAC, SECONDS long, default 60) with ffmpeg, then converts it
# RUNS times (default 3) with each tool, alternating, to
#   A: H.264 (libx264, preset veryfast, 4 Mbit/s) + AAC 128 kbit/s in MP4
#   B: MPEG-4 Part 2 (4 Mbit/s) + MP3 (libmp3lame 128 kbit/s) in AVI
# with THREADS codec threads (default: the number of cores), and prints the median wall time and
# the median peak memory (maximum resident set size) of each. Not part of the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-3}
THREADS=${3:-$(nproc)}
SECONDS_LONG=${4:-60}
PROGRAM="$BUILD/bin/vanto-convert"
[ -x "$PROGRAM" ] || { echo "no $PROGRAM: build first (cmake --build $BUILD)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found (Debian package ffmpeg)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found (Debian package time)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/vanto-convert-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

SRC="$WORK/src-1080p.mp4"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$SECONDS_LONG" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$SECONDS_LONG" \
    -map 0:v -map 1:a -ac 2 -c:v libx264 -preset ultrafast -crf 20 -pix_fmt yuv420p -c:a aac -b:a 192k "$SRC"
cat "$SRC" >/dev/null  # warm the file cache

# One run: prints "seconds kilobytes".
measure() {
    local log="$WORK/time.txt"
    /usr/bin/time -f "%e %M" -o "$log" "$@" >/dev/null 2>"$WORK/stderr.txt" || {
        echo "failed: $*" >&2
        cat "$WORK/stderr.txt" >&2
        exit 1
    }
    cat "$log"
}

vanto_a() {
    measure "$PROGRAM" engine --threads "$THREADS" -i "$SRC" -o "$WORK/vanto-a.mp4" \
        -oopt "vcodec=libx264<CRLF>preset=veryfast<CRLF>b=4000000<CRLF>acodec=aac<CRLF>ab=128000"
}
ffmpeg_a() {
    measure ffmpeg -nostdin -hide_banner -loglevel error -y -threads "$THREADS" -i "$SRC" \
        -c:v libx264 -preset veryfast -b:v 4000k -c:a aac -b:a 128k -threads "$THREADS" "$WORK/ffmpeg-a.mp4"
}
vanto_b() {
    measure "$PROGRAM" engine --threads "$THREADS" -i "$SRC" -o "$WORK/vanto-b.avi" \
        -oopt "vcodec=mpeg4<CRLF>b=4000000<CRLF>acodec=libmp3lame<CRLF>ab=128000"
}
ffmpeg_b() {
    measure ffmpeg -nostdin -hide_banner -loglevel error -y -threads "$THREADS" -i "$SRC" \
        -c:v mpeg4 -b:v 4000k -c:a libmp3lame -b:a 128k -threads "$THREADS" "$WORK/ffmpeg-b.avi"
}

declare -A SECS MEMS
for ((run = 1; run <= RUNS; run++)); do
    for job in vanto_a ffmpeg_a vanto_b ffmpeg_b; do
        read -r s m < <($job)
        SECS[$job]+="$s "
        MEMS[$job]+="$m "
        echo "run $run $job: ${s} s, ${m} kB" >&2
    done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

row() {  # label vanto-job ffmpeg-job
    local vs fs vm fm
    vs=$(echo "${SECS[$2]}" | median)
    fs=$(echo "${SECS[$3]}" | median)
    vm=$(echo "${MEMS[$2]}" | median)
    fm=$(echo "${MEMS[$3]}" | median)
    awk -v l="$1" -v vs="$vs" -v fs="$fs" -v vm="$vm" -v fm="$fm" 'BEGIN {
        printf "| %-26s | %9.2f | %9.2f | %7.1f%% | %9.0f | %9.0f | %5.2fx |\n", l, vs, fs, (vs / fs - 1) * 100, vm / 1024, fm / 1024, vm / fm
    }'
}

echo
echo "Converting a ${SECONDS_LONG} s 1920x1080 30 fps H.264/AAC clip, $THREADS threads, median of $RUNS runs, $(nproc) cores"
echo
printf "| %-26s | %9s | %9s | %8s | %9s | %9s | %6s |\n" "conversion" "vanto s" "ffmpeg s" "time" "vanto MB" "ffmpeg MB" "memory"
printf "|%s|%s|%s|%s|%s|%s|%s|\n" "----------------------------" "-----------" "-----------" "----------" "-----------" "-----------" "--------"
row "H.264/AAC in MP4" vanto_a ffmpeg_a
row "MPEG-4/MP3 in AVI" vanto_b ffmpeg_b
