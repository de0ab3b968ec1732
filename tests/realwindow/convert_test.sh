#!/bin/sh
# Converts two generated clips end to end from the Start button of the running program and saves
# screenshots of the conversion window (the short clip's row finished while the long one runs)
# and of the main window afterwards. Run under run_xvfb.sh.
# usage: convert_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)
xd="/usr/bin/python3 $here/xdriver.py"
title="Vanto Video Converter"
mkdir -p "$shots"
home=$(mktemp -d)
export HOME="$home"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_DOCUMENTS_DIR
fail() { echo "FAIL: $*"; $xd shot "$shots/convert_failed.png"; kill "$pid" 2>/dev/null; rm -rf "$home"; exit 1; }

media="$home/clips"
mkdir -p "$media"
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=320x240:rate=25:duration=1" \
    -f lavfi -i "sine=frequency=440:duration=1" -map 0:v -map 1:a -shortest "$media/a short clip.mp4" || exit 1
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=12" \
    -f lavfi -i "sine=frequency=330:duration=12" -map 0:v -map 1:a -shortest "$media/a long clip.mp4" || exit 1

"$bin/vanto" >"$home/stdout.log" 2>&1 &
pid=$!
geometry=$($xd wait "$title" 20) || fail "the main window did not appear"
set -- $geometry
wx=$2
wy=$3
sleep 0.5
$xd click $((wx + 23)) $((wy + 36))
sleep 0.4
$xd key Down Down Return
chooser="Choose a folder whose media files you want to add"
$xd wait "$chooser" 10 >/dev/null || fail "the folder chooser did not open"
sleep 0.5
$xd key ctrl+a
$xd type "$media"
$xd key Return
$xd gone "$chooser" 10 || fail "the folder chooser did not close"
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
out="$home/Documents/Vantosoft/OutPut"
for name in "a short clip" "a long clip"; do
    d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out/$name.mp4" 2>/dev/null)
    [ -n "$d" ] || fail "no playable output for $name: $(ls "$out")"
    echo "$name.mp4: $d s"
done
$xd close "$title" || fail "could not ask the window to close"
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after its window was closed"
wait "$pid" || fail "the program ended with an error"
rm -rf "$home"
echo "PASS"
