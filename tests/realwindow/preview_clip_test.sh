#!/bin/sh
# Plays a clip in the preview panel, moves the position slider, then chooses a range in the clip
# dialog and accepts it; screenshots of the playing preview, the dialog and the clipped row.
# Run under run_xvfb.sh. usage: preview_clip_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"
export SDL_AUDIODRIVER=dummy

media="$home/clips"
mkdir -p "$media"
make_clip "$media/holiday.mp4" 20 640x360

start_program
sleep 0.5
add_folder "$media"
sleep 1.5
# One file: it is selected, so Play previews it.
$xd click $((wx + 589)) $((wy + 423))
sleep 1.5
# A click on the slider's groove to the right of the thumb moves it a page on: a seek.
$xd click $((wx + 680)) $((wy + 391))
sleep 0.6
$xd shot "$shots/preview_playing.png"
echo "screenshot: $shots/preview_playing.png"

# Clip: the dialog stops the preview and plays the file itself.
$xd click $((wx + 236)) $((wy + 70))
clip_title="Clip:holiday.mp4"
dialog=$($xd wait "$clip_title" 15) || fail "the clip dialog did not open"
set -- $dialog
dx=$2
dy=$3
sleep 1.5
# Start from the position slider (a page on), end typed in.
$xd click $((dx + 200)) $((dy + 376))
sleep 0.5
$xd click $((dx + 123)) $((dy + 414))
$xd click $((dx + 240)) $((dy + 451))
$xd key Home
$xd type "000014"
$xd click $((dx + 302)) $((dy + 451))
sleep 0.8
$xd shot "$shots/clip_dialog.png"
echo "screenshot: $shots/clip_dialog.png"
$xd click $((dx + 378)) $((dy + 487))
$xd gone "$clip_title" 10 || fail "the clip dialog did not close with OK"
sleep 0.8
$xd shot "$shots/clip_row.png"
echo "screenshot: $shots/clip_row.png"
close_program
