#!/bin/sh
# vanto-convert play in a window: a yuv420p clip letterboxed in a square window, a yuv444p clip
# (converted for the window) in a window of the picture's size that is closed while it plays,
# and the window-less runs (no display, an unusable one, --no-window). Screenshots of both windows.
# Run under run_xvfb.sh. usage: play_window_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"
export SDL_AUDIODRIVER=dummy
play="$bin/vanto-convert play --stats"

ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=red:size=320x180:rate=25:duration=3" \
    -f lavfi -i "sine=frequency=440:duration=3" -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest \
    "$home/red.mp4" || fail "fixture red.mp4"
ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=0x00ff00:size=320x240:rate=25:duration=8" \
    -c:v libx264 -pix_fmt yuv444p "$home/green.mp4" || fail "fixture green.mp4"

# near X Y R G B: the screen's colour at X,Y is within 60 of R G B in each channel.
near() {
    set -- "$@" $($xd pixel "$1" "$2")
    [ $# -eq 8 ] || { echo "no colour read at $1,$2"; return 1; }
    for i in 1 2 3; do
        eval "want=\${$((i + 2))} got=\${$((i + 5))}"
        d=$((want - got))
        [ ${d#-} -le 60 ] || { echo "pixel $1,$2 is $6 $7 $8, expected about $3 $4 $5"; return 1; }
    done
}
shown() { sed -n 's/^frames shown: //p' "$1"; }

# in_window CLIP SIZE SHOT [OPTIONS]: plays CLIP in the background (pid), waits for its window,
# checks its size ("W H"), sets x y (its origin) and saves a screenshot after a second of play.
in_window() {
    clip=$1 size=$2 shot=$3
    shift 3
    $play "$@" "$home/$clip" >"$home/$clip.txt" 2>&1 &
    pid=$!
    geometry=$($xd wait "$clip" 10) || fail "the $clip window did not appear"
    set -- $geometry
    x=$2 y=$3
    [ "$4 $5" = "$size" ] || fail "$clip: window size $4 $5, expected $size"
    sleep 1
    $xd shot "$shots/$shot.png"
    echo "screenshot: $shots/$shot.png"
}

# 1. A 16:9 picture in a 400x400 window: black bands above and below.
in_window red.mp4 "400 400" play_window_letterbox --display 400x400
near $((x + 200)) $((y + 200)) 255 0 0 || fail "the picture is not in the middle of the window"
near $((x + 200)) $((y + 20)) 0 0 0 || fail "no black band above the picture"
near $((x + 200)) $((y + 380)) 0 0 0 || fail "no black band below the picture"
wait $pid || { cat "$home/red.mp4.txt"; fail "playing in a window ended with an error"; }
pid=""
[ "$(shown "$home/red.mp4.txt")" -gt 50 ] || { cat "$home/red.mp4.txt"; fail "too few pictures shown"; }

# 2. yuv444p in a window of the picture's size; closing the window ends playing well.
in_window green.mp4 "320 240" play_window_converted
near $((x + 160)) $((y + 120)) 0 255 0 || fail "the converted picture is not shown"
near $((x + 2)) $((y + 2)) 0 255 0 || fail "the picture does not fill a window of its size"
$xd close green.mp4 || fail "could not ask the window to close"
i=0
while kill -0 $pid 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 $pid 2>/dev/null && fail "playing went on after the window was closed"
wait $pid || { cat "$home/green.mp4.txt"; fail "closing the window ended with an error"; }
pid=""
n=$(shown "$home/green.mp4.txt")
[ "$n" -gt 0 ] && [ "$n" -lt 150 ] || { cat "$home/green.mp4.txt"; fail "$n pictures shown: did it end early?"; }

# 3. Without a window: --no-window opens none; without a display, or with one that cannot be
# opened, the counting sink plays.
$play --no-window "$home/red.mp4" >"$home/nowindow.txt" 2>&1 &
pid=$!
$xd wait red.mp4 1.5 >/dev/null && fail "--no-window opened a window"
wait $pid || { cat "$home/nowindow.txt"; fail "--no-window ended with an error"; }
pid=""
env -u DISPLAY -u WAYLAND_DISPLAY $play "$home/red.mp4" >"$home/headless.txt" 2>&1 ||
    { cat "$home/headless.txt"; fail "playing without a display ended with an error"; }
[ "$(shown "$home/headless.txt")" -gt 50 ] || { cat "$home/headless.txt"; fail "nothing played without a display"; }
grep -q "no window" "$home/headless.txt" && fail "no display is not a failure to report"
# A display that cannot be opened: said so, and played without a window.
DISPLAY=:4999 $play "$home/red.mp4" >"$home/baddisplay.txt" 2>&1 ||
    { cat "$home/baddisplay.txt"; fail "an unusable display ended playing with an error"; }
grep -q "no window" "$home/baddisplay.txt" || { cat "$home/baddisplay.txt"; fail "the unusable display was not reported"; }
[ "$(shown "$home/baddisplay.txt")" -gt 50 ] || { cat "$home/baddisplay.txt"; fail "nothing played with an unusable display"; }

rm -rf "$home"
echo "PASS"
