#!/bin/bash
# AV1 and HEVC speed: vanto-convert convert with the AV1 and 10-bit HEVC profiles against the
# ffmpeg command line with the same settings (encoder, preset, quality, pixel format, sound),
# both with automatic threads.
#
#   bench/quality_bench.sh [BUILD_DIR] [RUNS] [SECONDS] [SIZE]
#
# Makes a SECONDS-long (default 30) SIZE (default 1920x1080) 30 fps H.264/AAC clip, then converts
# it RUNS times (default 3) with each program, alternating:
#   AV1:  profile 1068 (MKV, SVT-AV1 preset 8, CRF 35, Opus 128 kbit/s 48 kHz)
#   HEVC: profile 1070 (MP4, x265 medium, CRF 24, 10-bit, tag hvc1, AAC 160 kbit/s, fast start)
# and prints the median wall time of each and their ratio. Not part of the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-3}
LENGTH=${3:-30}
SIZE=${4:-1920x1080}
PROGRAM="$BUILD/bin/vanto-convert"
[ -x "$PROGRAM" ] || { echo "no $PROGRAM: build first (cmake --build $BUILD)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found (Debian package ffmpeg)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/vanto-quality-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME" "$WORK/out"
SRC="$WORK/clip.mp4"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=$SIZE:rate=30:duration=$LENGTH" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$LENGTH" \
    -map 0:v -map 1:a -ac 2 -c:v libx264 -preset ultrafast -crf 20 -pix_fmt yuv420p -c:a aac -b:a 192k "$SRC"
cat "$SRC" >/dev/null

seconds() {  # command...: prints the wall time
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>"$WORK/stderr.txt" || { echo "failed: $*" >&2; cat "$WORK/stderr.txt" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f\n", e - s }'
}

vanto_av1() { seconds "$PROGRAM" convert --profile 1068 --overwrite --output-folder "$WORK/out" "$SRC"; }
ffmpeg_av1() {
    seconds ffmpeg -nostdin -hide_banner -loglevel error -y -i "$SRC" -c:v libsvtav1 -preset 8 -crf 35 \
        -pix_fmt yuv420p -c:a libopus -b:a 128k -ar 48000 -ac 2 "$WORK/ffmpeg-av1.mkv"
}
vanto_hevc() { seconds "$PROGRAM" convert --profile 1070 --overwrite --output-folder "$WORK/out" "$SRC"; }
ffmpeg_hevc() {
    seconds ffmpeg -nostdin -hide_banner -loglevel error -y -i "$SRC" -c:v libx265 -preset medium -crf 24 \
        -pix_fmt yuv420p10le -tag:v hvc1 -x265-params log-level=error -c:a aac -b:a 160k -ar 48000 -ac 2 \
        -movflags +faststart "$WORK/ffmpeg-hevc.mp4"
}

declare -A SECS
for ((run = 1; run <= RUNS; run++)); do
    for job in vanto_av1 ffmpeg_av1 vanto_hevc ffmpeg_hevc; do
        s=$($job)
        SECS[$job]+="$s "
        echo "run $run $job: $s s" >&2
    done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf "%-6s %10s %10s %7s   (%s runs, %s s of %s)\n" "" "vanto s" "ffmpeg s" "ratio" "$RUNS" "$LENGTH" "$SIZE"
for kind in av1 hevc; do
    v=$(echo "${SECS[vanto_$kind]}" | median)
    f=$(echo "${SECS[ffmpeg_$kind]}" | median)
    awk -v k="$kind" -v v="$v" -v f="$f" 'BEGIN { printf "%-6s %10.2f %10.2f %7.3f\n", k, v, f, v / f }'
done
