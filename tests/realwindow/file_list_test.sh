#!/bin/sh
# Adds a folder of generated clips to the running program through File > Add Folder and the
# folder chooser, then saves a screenshot of the filled list. Run under run_xvfb.sh.
# usage: file_list_test.sh PROGRAM_DIR SCREENSHOT_DIR
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
fail() { echo "FAIL: $*"; $xd shot "$shots/file_list_failed.png"; kill "$pid" 2>/dev/null; rm -rf "$home"; exit 1; }

media="$home/clips"
mkdir -p "$media"
for n in 1 2 3; do
    ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$((n + 1))" \
        -f lavfi -i "sine=frequency=440:duration=$((n + 1))" -map 0:v -map 1:a -shortest \
        "$media/holiday clip $n.mp4" || { echo "fixture failed"; exit 1; }
done
echo "not a video" >"$media/notes.txt"

"$bin/vanto" >"$home/stdout.log" 2>&1 &
pid=$!
geometry=$($xd wait "$title" 20) || fail "the main window did not appear"
set -- $geometry
wx=$2
wy=$3
sleep 0.5
# File menu, second item (Add Folder...).
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
# The failure list (notes.txt) comes up once probing is done.
$xd wait "Unreadable Files" 20 >/dev/null || fail "the unreadable file was not reported"
sleep 0.5
$xd shot "$shots/file_list_failures.png"
$xd key Return
$xd gone "Unreadable Files" 10 || fail "the failure list did not close"
sleep 0.8
$xd shot "$shots/file_list.png"
echo "screenshot: $shots/file_list.png"
grep -q "File list: 3 files, 1 could not be read" "$home/Documents/Vantosoft/Log/vanto.log" ||
    fail "the log does not show three files added and one failure: $(cat "$home/Documents/Vantosoft/Log/vanto.log")"
$xd close "$title" || fail "could not ask the window to close"
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after its window was closed"
wait "$pid" || fail "the program ended with an error"
rm -rf "$home"
echo "PASS"
