#!/bin/bash
# Codec threads and the remaining-time estimate: vanto-convert convert with profile 1055 (MP4
# H.264/AAC) against the ffmpeg command line with the same libx264 and AAC settings (the option
# text libx264 writes into both outputs is compared and must differ only in its thread count).
#
#   bench/threads_bench.sh [BUILD_DIR] [RUNS] [SECONDS] [one]
#
# Makes a SECONDS-long (default 30) 1280x720 25 fps H.264/AAC clip, then, RUNS times (default 3),
# alternating the
# two programs:
#   one clip:     vanto (its own thread rule)       vs ffmpeg with automatic threads
#   two clips:    vanto --jobs 2                    vs two ffmpeg at once, one thread each
#   eight clips:  vanto --jobs 2                    vs ffmpeg two at a time, one thread each
# and prints median wall times. The eight-clip vanto runs also record the run's remaining-time
# estimate: the one shown when a quarter of the run's time had passed is compared with the time
# the run then really took. With "one" as fourth argument only the one-clip case runs. Not part
# of the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-3}
LENGTH=${3:-30}
ONLY_ONE=$([ "${4:-}" = one ] && echo yes || echo no)
PROGRAM="$BUILD/bin/vanto-convert"
[ -x "$PROGRAM" ] || { echo "no $PROGRAM: build first (cmake --build $BUILD)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found (Debian package ffmpeg)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/vanto-threads-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME" "$WORK/clips"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=1280x720:rate=25:duration=$LENGTH \
    -f lavfi -i sine=frequency=440:duration=$LENGTH -map 0:v -map 1:a -c:v libx264 -preset veryfast -c:a aac \
    "$WORK/clips/clip1.mp4"
for i in 2 3 4 5 6 7 8; do cp "$WORK/clips/clip1.mp4" "$WORK/clips/clip$i.mp4"; done
cat "$WORK"/clips/*.mp4 >/dev/null  # warm the file cache

# Profile 1055's settings on the ffmpeg command line (libx264 defaults at 2000 kbit/s with the
# quantiser limits and I/P ratio the engine's option defaults give; AAC 128 kbit/s, 44100 Hz
# stereo), with the index at the front as every MP4 output has it.
FFMPEG_ARGS=(-c:v libx264 -b:v 2000k -qmin 10 -qmax 51 -x264-params ipratio=1.41 -c:a aac -b:a 128k -ar 44100 -ac 2
             -movflags +faststart)

seconds() { # COMMAND...: runs it, prints its wall time
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}
vanto() { # JOBS FILE...
    local jobs=$1
    shift
    rm -rf "$WORK/vout"
    "$PROGRAM" convert --profile 1055 --output-folder "$WORK/vout" --jobs "$jobs" "$@"
}
ffmpeg_auto() { # FILE
    rm -rf "$WORK/fout" && mkdir -p "$WORK/fout"
    ffmpeg -nostdin -loglevel error -y -i "$1" "${FFMPEG_ARGS[@]}" "$WORK/fout/$(basename "$1")"
}
ffmpeg_two_at_a_time() { # FILE...: two ffmpeg at a time, one thread each for decoding, filters, encoding
    rm -rf "$WORK/fout" && mkdir -p "$WORK/fout"
    printf '%s\n' "$@" | WORK="$WORK" ARGS="${FFMPEG_ARGS[*]}" xargs -P 2 -I{} bash -c \
        'ffmpeg -nostdin -loglevel error -y -threads 1 -i "$1" -filter_threads 1 $ARGS -threads 1 "$WORK/fout/$(basename "$1")"' _ {}
}
# The eight-clip vanto run with its progress lines time-stamped: prints the wall time.
vanto_estimated() {
    local start
    rm -rf "$WORK/vout"
    start=$(date +%s.%N)
    "$PROGRAM" convert --profile 1055 --output-folder "$WORK/vout" --jobs 2 "$WORK"/clips/*.mp4 2>&1 >/dev/null |
        python3 -u -c 'import sys, time
for line in sys.stdin: print("%.3f %s" % (time.time(), line), end="")' >"$WORK/progress.log"
    awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'
    echo "$start" >"$WORK/start"
}
# From the last eight-clip run: the estimate shown at a quarter of the run against the truth.
estimate_error() {
    local start total
    start=$(cat "$WORK/start")
    total=$1
    awk -v start="$start" -v total="$total" '
        / all files / {
            t = $1 - start
            split($4, hms, ":")
            left = hms[1] * 3600 + hms[2] * 60 + hms[3]
            if (t <= total / 4 || !seen) { at = t; shown = left; seen = 1 }
        }
        END { real = total - at; printf "%.1f %.1f %.1f %+.1f", at, shown, real, (shown - real) / real * 100 }' \
        "$WORK/progress.log"
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

one=$WORK/clips/clip1.mp4
# The outputs of the first one-clip runs: libx264's settings text must differ only in threads.
check_settings() {
    local v f
    v=$(strings "$WORK/vout/clip1.mp4" | grep -o 'options: .*' | sed -n 1p | tr ' ' '\n')
    f=$(strings "$WORK/fout/clip1.mp4" | grep -o 'options: .*' | sed -n 1p | tr ' ' '\n')
    if [ "$(echo "$v" | grep -v '^threads=')" != "$(echo "$f" | grep -v '^threads=')" ]; then
        echo "libx264 settings differ:" >&2
        diff <(echo "$v") <(echo "$f") >&2 || true
        exit 1
    fi
    echo "libx264 settings identical apart from threads: vanto $(echo "$v" | grep '^threads='), ffmpeg $(echo "$f" | grep '^threads=')"
}

declare -A T
estimates=""
for ((run = 1; run <= RUNS; run++)); do
    T[v1]+="$(seconds vanto 2 "$one") "
    T[f1]+="$(seconds ffmpeg_auto "$one") "
    [ "$run" -gt 1 ] || check_settings
    [ "$ONLY_ONE" = no ] || continue
    T[v2]+="$(seconds vanto 2 "$WORK/clips/clip1.mp4" "$WORK/clips/clip2.mp4") "
    T[f2]+="$(seconds ffmpeg_two_at_a_time "$WORK/clips/clip1.mp4" "$WORK/clips/clip2.mp4") "
    s=$(vanto_estimated)
    T[v8]+="$s "
    estimates+="$(estimate_error "$s")"$'\n'
    T[f8]+="$(seconds ffmpeg_two_at_a_time "$WORK"/clips/*.mp4) "
    echo "after run $run:" >&2
    for k in v1 f1 v2 f2 v8 f8; do echo "  $k: ${T[$k]}" >&2; done
done

echo
echo "${LENGTH}-second 1280x720 H.264/AAC clips, profile 1055, median of $RUNS runs, $(nproc) processors"
echo
echo "| run                              |   vanto s |  ffmpeg s | vanto/ffmpeg |"
echo "|----------------------------------|-----------|-----------|--------------|"
row() {
    local v f
    v=$(echo "${T[$2]}" | median)
    f=$(echo "${T[$3]}" | median)
    awk -v l="$1" -v v="$v" -v f="$f" 'BEGIN { printf "| %-32s | %9.2f | %9.2f | %12.2f |\n", l, v, f, v / f }'
}
row "one clip (ffmpeg: auto threads)" v1 f1
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$ONLY_ONE" = no ] || exit 0
row "two clips, 2 at a time" v2 f2
row "eight clips, 2 at a time" v8 f8
echo
echo "Remaining-time estimate of the eight-clip runs, as shown at a quarter of the run:"
echo "| shown at s | estimate s | real s | error |"
echo "|------------|------------|--------|-------|"
echo -n "$estimates" | awk '{ printf "| %10.1f | %10.1f | %6.1f | %+4.1f%% |\n", $1, $2, $3, $4 }'
