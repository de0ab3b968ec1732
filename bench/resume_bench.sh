#!/bin/bash
# What a kill costs a resumable conversion: vanto-convert convert --resumable on a 720p clip
# (default 3 minutes), uninterrupted, and killed with SIGKILL when its progress line reaches 30 %,
# 60 % and 90 % (the percentage the program prints, not a guess from the time) and then resumed
# with --resume.
#
#   bench/resume_bench.sh [BUILD_DIR] [RUNS] [SECONDS] [PIECE_SECONDS]
#
# RUNS (default 3) repetitions of everything; medians are printed. PIECE_SECONDS (default: the
# program's own, a twentieth of the length between 5 s and 60 s) sets the pictures' piece length through VANTO_RESUME_SEGMENT_SECONDS. Prints
# per kill point the total time (killed run + resumed run) against the uninterrupted time, the
# resumable output's size against a one-piece conversion, and whether every resumed output
# decodes to the same frames as the uninterrupted one (ffmpeg -f framemd5). Beside the wall
# times it prints the processor time the program used (user + system, killed run included), which
# other work on the machine disturbs much less. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-3}
SECONDS_LONG=${3:-180}
PIECE=${4:-}
PROGRAM="$BUILD/bin/vanto-convert"
[ -x "$PROGRAM" ] || { echo "no $PROGRAM: build first (cmake --build $BUILD)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found (Debian package ffmpeg)" >&2; exit 1; }
[ -n "$PIECE" ] && export VANTO_RESUME_SEGMENT_SECONDS="$PIECE"

WORK=$(mktemp -d /tmp/vanto-resume-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
mkdir -p "$HOME"

SRC="$WORK/src-720p.mp4"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=$SECONDS_LONG" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$SECONDS_LONG" \
    -map 0:v -map 1:a -ac 2 -c:v libx264 -preset ultrafast -crf 20 -g 60 -pix_fmt yuv420p -c:a aac "$SRC"
cat "$SRC" >/dev/null  # warm the file cache

now() { date +%s.%N; }
TICKS=$(getconf CLK_TCK)
convert() {  # output folder, extra arguments; the processor seconds used go to $WORK/cpu.txt
    /usr/bin/time -f '%U %S' -o "$WORK/time.txt" \
        "$PROGRAM" convert --profile 1055 --output-folder "$1" "${@:2}" "$SRC" >/dev/null 2>"$WORK/stderr.txt"
    awk '{ print $1 + $2 }' "$WORK/time.txt" >"$WORK/cpu.txt"
}
cpu_of() {  # pid: processor seconds its threads used so far
    awk -v t="$TICKS" '{ sub(/^.*\) /, ""); print ($12 + $13) / t }' "/proc/$1/stat" 2>/dev/null || echo 0
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

declare -A total reuse cpu
whole=() ; wholecpu=() ; same=yes
for run in $(seq "$RUNS"); do
    rm -rf "$WORK/ref"
    t0=$(now); convert "$WORK/ref" --resumable; t1=$(now)
    whole+=("$(echo "$t1 - $t0" | bc)")
    wholecpu+=("$(cat "$WORK/cpu.txt")")
    ffmpeg -nostdin -v error -i "$WORK/ref/src-720p.mp4" -f framemd5 - >"$WORK/ref.md5"
    for pct in 30 60 90; do
        rm -rf "$WORK/out"
        t0=$(now)
        "$PROGRAM" convert --profile 1055 --resumable --output-folder "$WORK/out" "$SRC" >/dev/null \
            2>"$WORK/progress.txt" &
        pid=$!
        # The file's percentage comes as "NAME  NN%" lines; kill as soon as one reaches pct.
        while kill -0 "$pid" 2>/dev/null; do
            p=$(grep -o ' [0-9]*%$' "$WORK/progress.txt" | tail -n 1 | tr -d ' %' || true)
            [ -n "$p" ] && [ "$p" -ge "$pct" ] && break
            sleep 0.1
        done
        killedcpu=$(cpu_of "$pid")
        if kill -9 "$pid" 2>/dev/null; then :; else echo "run $run: the conversion ended before $pct %" >&2; fi
        wait "$pid" 2>/dev/null || true
        convert "$WORK/out" --resumable --resume
        t1=$(now)
        total[$pct]+="$(echo "$t1 - $t0" | bc) "
        cpu[$pct]+="$(echo "$killedcpu + $(cat "$WORK/cpu.txt")" | bc) "
        reuse[$pct]+="$(grep -o '[0-9]* pieces reused, [0-9]* encoded' "$WORK/stderr.txt" || echo '?');"
        ffmpeg -nostdin -v error -i "$WORK/out/src-720p.mp4" -f framemd5 - | cmp -s - "$WORK/ref.md5" || same=no
        [ -z "$(ls -A "$WORK/out" | grep -v '^src-720p.mp4$')" ] || { echo "left behind in $WORK/out:" >&2; ls -A "$WORK/out" >&2; }
    done
done
rm -rf "$WORK/one"
convert "$WORK/one" --no-resumable

W=$(printf '%s\n' "${whole[@]}" | median)
echo "source: ${SECONDS_LONG} s 1280x720 30 fps, profile 1055 (MP4 H.264/AAC), pieces ${PIECE:+$PIECE s}${PIECE:-1/20 of the length}, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), median of $RUNS"
WC=$(printf '%s\n' "${wholecpu[@]}" | median)
printf '%-28s %8.1f s   processor %.1f s\n' "uninterrupted (resumable)" "$W" "$WC"
for pct in 30 60 90; do
    T=$(echo "${total[$pct]}" | tr ' ' '\n' | grep . | median)
    C=$(echo "${cpu[$pct]}" | tr ' ' '\n' | grep . | median)
    printf '%-28s %8.1f s   %.2f x   processor %.1f s   %.2f x   resume: %s\n' "killed at $pct % + resumed" \
        "$T" "$(echo "$T / $W" | bc -l)" "$C" "$(echo "$C / $WC" | bc -l)" "${reuse[$pct]%;}"
done
R=$(stat -c %s "$WORK/ref/src-720p.mp4"); O=$(stat -c %s "$WORK/one/src-720p.mp4")
printf 'size: resumable %d bytes, one piece %d bytes (%+.1f %%)\n' "$R" "$O" "$(echo "($R - $O) * 100 / $O" | bc -l)"
echo "every resumed output decodes as the uninterrupted one (framemd5): $same"
