#!/bin/sh
# Adds a folder of generated clips to the running program through File > Add Folder and the
# folder chooser, then saves a screenshot of the filled list. Run under run_xvfb.sh.
# usage: file_list_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

media="$home/clips"
mkdir -p "$media"
for n in 1 2 3; do make_clip "$media/holiday clip $n.mp4" $((n + 1)) 320x240; done
echo "not a video" >"$media/notes.txt"

start_program
sleep 0.5
add_folder "$media"
# The failure list (notes.txt) comes up once probing is done.
$xd wait "Unreadable Files" 20 >/dev/null || fail "the unreadable file was not reported"
sleep 0.5
$xd shot "$shots/file_list_failures.png"
$xd key Return
$xd gone "Unreadable Files" 10 || fail "the failure list did not close"
sleep 0.8
$xd shot "$shots/file_list.png"
echo "screenshot: $shots/file_list.png"
# A click on a row selects it; its texts must stay readable on the highlight.
$xd click $((wx + 120)) $((wy + 165))
sleep 0.5
$xd shot "$shots/file_list_selected.png"
echo "screenshot: $shots/file_list_selected.png"
grep -q "File list: 3 files, 1 could not be read" "$home/Documents/Vantosoft/Log/vanto.log" ||
    fail "the log does not show three files added and one failure: $(cat "$home/Documents/Vantosoft/Log/vanto.log")"
close_program
