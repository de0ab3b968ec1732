#!/bin/sh
# Converts two generated clips end to end from the Start button of the running program and saves
# screenshots of the conversion window (the short clip's row finished while the long one runs)
# and of the main window afterwards. Run under run_xvfb.sh.
# usage: convert_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

media="$home/clips"
mkdir -p "$media"
make_clip "$media/a short clip.mp4" 1 320x240
make_clip "$media/a long clip.mp4" 12 1280x720

start_program
sleep 0.5
add_folder "$media"
sleep 1.5
# Start.
$xd click $((wx + 724)) $((wy + 498))
$xd wait "Converting" 10 >/dev/null || fail "the conversion window did not open"
sleep 2
$xd shot "$shots/converting.png"
echo "screenshot: $shots/converting.png"
$xd gone "Converting" 120 || fail "the conversion did not end"
sleep 1
$xd shot "$shots/converted.png"
# "Open the output folder" is checked: without a file manager a message says the folder could
# not be opened; Return closes it (and does nothing when the folder did open).
$xd key Return
sleep 0.5
out="$home/Documents/Vantosoft/OutPut"
for name in "a short clip" "a long clip"; do
    d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out/$name.mp4" 2>/dev/null)
    [ -n "$d" ] || fail "no playable output for $name: $(ls "$out")"
    echo "$name.mp4: $d s"
done
close_program
