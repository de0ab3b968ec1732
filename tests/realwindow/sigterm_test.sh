#!/bin/sh
# SIGTERM to the window program in the middle of a run: the program ends by itself, the finished
# output stays, and nothing half-written or empty is left in the output folder. Run under
# run_xvfb.sh.
# usage: sigterm_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

media="$home/clips"
mkdir -p "$media"
make_clip "$media/a short clip.mp4" 1 320x240
for n in 1 2; do make_clip "$media/long $n.mp4" 20 640x480; done

start_program
sleep 0.5
add_folder "$media"
sleep 1.5
$xd click $((wx + 724)) $((wy + 498))
$xd wait "Converting" 10 >/dev/null || fail "the conversion window did not open"
out="$home/Documents/Vantosoft/OutPut"
i=0
while [ ! -f "$out/a short clip.mp4" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
[ -f "$out/a short clip.mp4" ] || fail "the short clip was not converted"
kill -TERM "$pid"
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 150 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$pid" 2>/dev/null && fail "the program did not end on SIGTERM"
wait "$pid"
echo "exit status after SIGTERM: $?"
left=$(ls -A "$out")
echo "left in the output folder: $left"
[ "$left" = "a short clip.mp4" ] || fail "expected only the finished output, found: $left"
d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out/a short clip.mp4")
echo "a short clip.mp4: $d s"
[ -n "$d" ] || fail "the finished output is not playable"
rm -rf "$home"
echo "PASS"
