#!/bin/bash
# The player's figures: audio/video sync, seek latency and accuracy, processor time against
# ffplay, and memory over a looping playback.
#
#   bench/player_bench.sh [BUILD_DIR] [MEMORY_SECONDS]
#
# Makes its clips with ffmpeg (in a temporary folder):
#   sync:  1280x720 at 30 fps, 60 s, H.264 + AAC; the picture shows a frame counter, the sound
#          beeps once a second (every 30th frame)
#   seek:  1920x1080 at 30 fps, 60 s, H.264 with a key frame every 2 s, + AAC
# and measures, with SDL_AUDIODRIVER=dummy:
#   1. sync: vanto-convert play --no-window --stats over the whole sync clip: largest gap between
#      the picture put on screen and the audio clock, frames dropped
#   2. seek: five seeks to times between key frames: latency from the seek to the first picture,
#      and the time of that picture (must be the requested one, not the key frame before it)
#   3. processor: the seek clip played whole by ffplay -autoexit and by vanto-convert play, each
#      drawing into a 1280x720 window of the same Xvfb server, one after the other; user +
#      system time of each (/usr/bin/time), the X server's own processor time during each, and
#      the frames each dropped (a player that drops more pictures draws fewer: compare the
#      times only when both dropped few)
#   4. memory: vanto-convert play --no-window --loop on a 2 s clip for MEMORY_SECONDS (default
#      600): resident size every 30 s
# Not part of the test suite; run it under nice on a shared machine and say what else ran.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
MEMORY_SECONDS=${2:-600}
PROGRAM="$BUILD/bin/vanto-convert"
[ -x "$PROGRAM" ] || { echo "no $PROGRAM: build first (cmake --build $BUILD)" >&2; exit 1; }
for tool in ffmpeg ffplay Xvfb /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool not found" >&2; exit 1; }
done
export SDL_AUDIODRIVER=dummy

WORK=$(mktemp -d /tmp/vanto-player-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

SYNC="$WORK/sync-720p.mp4"
SEEK="$WORK/seek-1080p.mp4"
SHORT="$WORK/loop-2s.mp4"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc=size=1280x720:rate=30:duration=60" \
    -f lavfi -i "sine=frequency=1000:beep_factor=4:sample_rate=48000:duration=60" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -shortest "$SYNC"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=60" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" \
    -c:v libx264 -preset veryfast -g 60 -keyint_min 60 -sc_threshold 0 -pix_fmt yuv420p \
    -c:a aac -b:a 128k -shortest "$SEEK"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=640x360:rate=30:duration=2" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=2" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$SHORT"
cat "$SYNC" "$SEEK" >/dev/null  # warm the file cache
sync
sleep 15  # let the clip making's writes and load settle before anything is timed

figure() { sed -n "s/^$1: \([0-9.]*\).*/\1/p" "$2"; }

echo "== load: $(cut -d' ' -f1-3 /proc/loadavg) (1/5/15 min), $(nproc) processors"

echo "== sync (1280x720 30 fps, 60 s)"
"$PROGRAM" play --no-window --stats --display 1280x720 "$SYNC" >"$WORK/sync.txt"
echo "max a/v gap: $(figure 'max a\/v gap' "$WORK/sync.txt") ms, frames shown $(figure 'frames shown' "$WORK/sync.txt"), dropped $(figure 'frames dropped' "$WORK/sync.txt")"
sed -n 's/^dropped at:/dropped at (s; "-" late when decoded):/p' "$WORK/sync.txt"

echo "== seek (1920x1080, key frame every 2 s)"
for t in 5.3 13.7 27.9 41.1 55.5; do
    "$PROGRAM" play --no-window --stats --seek "$t" --duration 2 "$SEEK" >"$WORK/seek.txt"
    echo "seek to $t s: $(sed -n 's/^seek latency: //p' "$WORK/seek.txt")"
done

echo "== processor (1920x1080 30 fps, 60 s, whole clip, both in a 1280x720 window of one Xvfb)"
# The X server's processor time (user + system, in clock ticks) is read around each player, so
# that work moved from the player into the server shows.
cat >"$WORK/cpu.sh" <<'EOS'
#!/bin/bash
set -e
xserver_ticks() {
    local pid
    pid=$(pgrep -P "$PPID" -x Xvfb)  # the server run_xvfb.sh started for this script
    awk '{print $14 + $15}' "/proc/$pid/stat"
}
x0=$(xserver_ticks)
/usr/bin/time -f "%U %S" -o "$WORK/ffplay.time" \
    ffplay -autoexit -loglevel quiet -stats -x 1280 -y 720 "$SEEK" </dev/null 2>"$WORK/ffplay.err"
x1=$(xserver_ticks)
/usr/bin/time -f "%U %S" -o "$WORK/vanto.time" \
    "$PROGRAM" play --stats --display 1280x720 "$SEEK" >"$WORK/cpu-stats.txt"
x2=$(xserver_ticks)
echo "$x0 $x1 $x2" >"$WORK/xserver.ticks"
EOS
chmod +x "$WORK/cpu.sh"
WORK="$WORK" SEEK="$SEEK" PROGRAM="$PROGRAM" tests/realwindow/run_xvfb.sh "$WORK/cpu.sh"
ffplay_cpu=$(awk '{printf "%.2f", $1 + $2}' "$WORK/ffplay.time")
vanto_cpu=$(awk '{printf "%.2f", $1 + $2}' "$WORK/vanto.time")
hz=$(getconf CLK_TCK)
read -r x0 x1 x2 <"$WORK/xserver.ticks"
# ffplay's status line (-stats) ends with its count of dropped frames, "fd=".
ffplay_dropped=$(tr '\r' '\n' <"$WORK/ffplay.err" | sed -n 's/.*fd= *\([0-9]*\).*/\1/p' | tail -n 1)
echo "ffplay: frames dropped ${ffplay_dropped:-?}; vanto-convert play: frames shown $(figure 'frames shown' "$WORK/cpu-stats.txt"), dropped $(figure 'frames dropped' "$WORK/cpu-stats.txt"), drawn in the window $(figure 'frames drawn in the window' "$WORK/cpu-stats.txt")"
echo "ffplay: $ffplay_cpu s (X server $(awk -v t=$((x1 - x0)) -v hz="$hz" 'BEGIN{printf "%.2f", t / hz}') s)," \
    "vanto-convert play: $vanto_cpu s (X server $(awk -v t=$((x2 - x1)) -v hz="$hz" 'BEGIN{printf "%.2f", t / hz}') s)," \
    "ratio $(awk -v a="$vanto_cpu" -v b="$ffplay_cpu" 'BEGIN{printf "%.2f", a / b}')"

echo "== memory (2 s clip looping for $MEMORY_SECONDS s)"
"$PROGRAM" play --no-window --loop --duration "$MEMORY_SECONDS" --display 640x360 "$SHORT" >/dev/null &
pid=$!
samples=""
elapsed=0
while kill -0 $pid 2>/dev/null; do
    rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status 2>/dev/null || true)
    [ -n "$rss" ] && samples="$samples ${elapsed}s:$((rss / 1024))MB"
    sleep 30 || true
    elapsed=$((elapsed + 30))
done
wait $pid
echo "resident size:$samples"
echo "== load: $(cut -d' ' -f1-3 /proc/loadavg)"
