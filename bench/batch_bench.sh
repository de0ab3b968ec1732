#!/bin/sh
# Times a batch conversion of eight generated 30-second clips with vanto-convert convert, one job
# at a time and two at a time. usage: bench/batch_bench.sh [BUILD_DIR] [PROFILE_ID]
set -e
build=${1:-build}
profile=${2:-1055}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME" "$work/clips"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=640x360:rate=25:duration=30 \
    -f lavfi -i sine=frequency=440:duration=30 -map 0:v -map 1:a -c:v libx264 -preset veryfast -c:a aac \
    "$work/clips/clip1.mp4"
for i in 2 3 4 5 6 7 8; do cp "$work/clips/clip1.mp4" "$work/clips/clip$i.mp4"; done
echo "profile $profile: $("$build/bin/vanto-convert" profiles | awk -F'\t' -v id="$profile" '$1 == id { print $3 }')"
echo "| jobs | wall seconds |"
echo "|------|--------------|"
for jobs in 1 2; do
    rm -rf "$work/out"
    start=$(date +%s.%N)
    "$build/bin/vanto-convert" convert --profile "$profile" --output-folder "$work/out" --jobs "$jobs" \
        "$work"/clips/*.mp4 >/dev/null 2>&1
    end=$(date +%s.%N)
    printf "| %4d | %12.1f |\n" "$jobs" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
done
