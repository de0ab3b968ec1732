#!/bin/sh
# Background running during a conversion, with a tray host (trayer) or without one: the windows
# must always come back. With a tray both windows hide, the icon appears in the tray, and a click
# on it while the run goes on brings both back. Without a tray both windows are minimised; on a
# display without a window manager nothing can iconify them, so they stay on screen.
# Saves screenshots of each stage. Run under run_xvfb.sh.
# usage: background_test.sh PROGRAM_DIR SCREENSHOT_DIR tray|notray
set -u
bin=$1
shots=$2
mode=$3
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

tray=""
if [ "$mode" = tray ]; then
    command -v trayer >/dev/null || fail "trayer is not installed (scripts/install-deps.sh)"
    trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 28 \
        --transparent false --tint 0x808080 >"$home/trayer.log" 2>&1 &
    tray=$!
    $xd wait panel 10 >/dev/null || fail "the tray host did not start"
fi
stop_tray() { [ -n "$tray" ] && kill "$tray" 2>/dev/null; tray=""; }

media="$home/clips"
mkdir -p "$media"
make_clip "$media/long clip.mp4" 30 640x480

start_program
sleep 0.5
add_folder "$media"
sleep 1.5
$xd click $((wx + 724)) $((wy + 498))
conv=$($xd wait "Converting" 10) || fail "the conversion window did not open"
set -- $conv
cx=$2
cy=$3
sleep 1
# Background button.
$xd click $((cx + 295)) $((cy + 426))
sleep 1
$xd shot "$shots/background_${mode}.png"
echo "screenshot: $shots/background_${mode}.png"
if [ "$mode" = tray ]; then
    hidden() {
        $xd gone "Converting" 5 || fail "the conversion window did not hide"
        $xd gone "$title" 5 || fail "the main window did not hide"
        icon=$($xd children panel | awk '$3 > 4 && $4 > 4 { print; exit }')
        [ -n "$icon" ] || fail "no tray icon appeared"
        set -- $icon
        ix=$(($1 + $3 / 2))
        iy=$(($2 + $4 / 2))
    }
    back() {
        $xd wait "Converting" 5 >/dev/null || fail "$1 did not bring the conversion window back"
        $xd wait "$title" 5 >/dev/null || fail "$1 did not bring the main window back"
    }
    hidden
    # The icon's menu first: right-click, then "&Restore" by its key.
    $xd click $ix $iy 3
    sleep 0.5
    $xd shot "$shots/background_tray_menu.png"
    echo "screenshot: $shots/background_tray_menu.png"
    $xd key r
    back "Restore in the tray menu"
    sleep 0.5
    conv=$($xd wait "Converting" 5)
    set -- $conv
    $xd click $(($2 + 295)) $(($3 + 426))
    hidden
    $xd click $ix $iy
    back "a click on the tray icon"
else
    grep -q "No system tray: the windows are minimised" "$home/Documents/Vantosoft/Log/vanto.log" ||
        fail "the program did not see that there is no tray"
    $xd wait "Converting" 5 >/dev/null || fail "the conversion window is gone"
    $xd wait "$title" 5 >/dev/null || fail "the main window is gone"
fi
sleep 0.5
$xd shot "$shots/background_${mode}_back.png"
echo "screenshot: $shots/background_${mode}_back.png"
$xd gone "Converting" 150 || fail "the conversion did not end"
sleep 1
# The finish message.
$xd key Return
sleep 0.5
d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$home/Documents/Vantosoft/OutPut/long clip.mp4")
[ -n "$d" ] || fail "no playable output"
echo "long clip.mp4: $d s"
stop_tray
close_program
