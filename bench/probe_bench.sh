#!/bin/bash
# Probing speed: vanto-convert probe against ffprobe on 200 generated files.
#
#   bench/probe_bench.sh [BUILD_DIR] [COUNT]
#
# Makes six short clips (MP4, MKV, AVI, MPEG-TS, MP3, WAV) with ffmpeg and copies them round-robin
# into COUNT files (default 200) in a temporary folder, warms the file cache, then times
#   - one vanto-convert process per file,
#   - one ffprobe process per file (ffprobe's default output: the container and stream dump),
#   - one vanto-convert process for all files,
# and prints a table. Not part of the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
COUNT=${2:-200}
PROGRAM="$BUILD/bin/vanto-convert"
[ -x "$PROGRAM" ] || { echo "no $PROGRAM: build first (cmake --build $BUILD)" >&2; exit 1; }
command -v ffprobe >/dev/null || { echo "ffprobe not found (Debian package ffmpeg)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/vanto-probe-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
V="-f lavfi -i testsrc2=size=640x360:rate=25:duration=3"
A="-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3"
ff $V $A -map 0:v -map 1:a -c:v libx264 -c:a aac "$WORK/src.mp4"
ff $V $A -map 0:v -map 1:a -c:v libx264 -c:a libvorbis "$WORK/src.mkv"
ff $V $A -map 0:v -map 1:a -c:v mpeg4 -c:a libmp3lame "$WORK/src.avi"
ff $V $A -map 0:v -map 1:a -c:v mpeg2video -c:a mp2 "$WORK/src.ts"
ff $A -c:a libmp3lame -metadata title=Bench "$WORK/src.mp3"
ff $A -c:a pcm_s16le "$WORK/src.wav"

SOURCES=("$WORK"/src.*)
FILES=()
for ((i = 0; i < COUNT; i++)); do
    src=${SOURCES[$((i % ${#SOURCES[@]}))]}
    dst=$(printf "%s/clip-%03d.%s" "$WORK" "$i" "${src##*.}")
    cp "$src" "$dst"
    FILES+=("$dst")
done

# Warm the file cache and check that every file probes.
"$PROGRAM" probe "${FILES[@]}" >/dev/null
for f in "${FILES[@]}"; do ffprobe -hide_banner "$f" >/dev/null 2>&1; done

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

t0=$(now)
for f in "${FILES[@]}"; do "$PROGRAM" probe "$f" >/dev/null; done
t1=$(now)
for f in "${FILES[@]}"; do ffprobe -hide_banner "$f" >/dev/null 2>&1; done
t2=$(now)
"$PROGRAM" probe "${FILES[@]}" >/dev/null
t3=$(now)

row() {  # name processes seconds
    printf "| %-36s | %9s | %9.3f | %11.2f |\n" "$1" "$2" "$3" "$(awk -v s="$3" -v n="$COUNT" 'BEGIN { print s * 1000 / n }')"
}
echo
echo "Probing $COUNT files (${#SOURCES[@]} kinds: mp4, mkv, avi, ts, mp3, wav; 3 s each), $(nproc) cores"
echo
printf "| %-36s | %9s | %9s | %11s |\n" "method" "processes" "seconds" "ms per file"
printf "|%s|%s|%s|%s|\n" "--------------------------------------" "-----------" "-----------" "-------------"
row "vanto-convert probe, one per file" "$COUNT" "$(elapsed "$t0" "$t1")"
row "ffprobe, one per file" "$COUNT" "$(elapsed "$t1" "$t2")"
row "vanto-convert probe, all files" "1" "$(elapsed "$t2" "$t3")"
