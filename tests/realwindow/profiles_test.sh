#!/bin/sh
# Choosing and tuning the output in the running program: the profile picker with the HD category
# shown, the settings dialog, the profile tree and the preferences, where Chinese is chosen; after
# a restart the main window, the picker, the settings dialog and the conversion window are
# Chinese. Saves a screenshot of each. Run under run_xvfb.sh.
# usage: profiles_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

media="$home/clips"
mkdir -p "$media"
make_clip "$media/first clip.mp4" 1 320x240
make_clip "$media/second clip.mp4" 1 320x240

# shoot NAME: a screenshot of the whole screen.
shoot() {
    $xd shot "$shots/$1.png" || fail "screenshot $1"
    echo "screenshot: $shots/$1.png"
}

# open_picker: clicks the profile row; the picker (380 high) opens above it.
open_picker() {
    $xd click $((wx + 250)) $((wy + 483))
    sleep 0.6
    px=$((wx + 72))
    py=$((wy + 473 - 1 - 380))
}

# look_at_settings TITLE SHOT: opens the settings dialog, saves a screenshot, cancels it.
look_at_settings() {
    $xd click $((wx + 572)) $((wy + 484))
    $xd wait "$1" 10 >/dev/null || fail "the settings dialog \"$1\" did not open"
    sleep 0.5
    shoot "$2"
    $xd key Escape
    $xd gone "$1" 10 || fail "the settings dialog did not close"
}

start_program
sleep 0.5
add_folder "$media"
sleep 1.5

# The picker with the HD category (the second one) shown, then an HD profile chosen.
open_picker
$xd click $((px + 60)) $((py + 24 + 12))
sleep 0.5
shoot picker_hd
$xd click $((px + 300)) $((py + 24))
sleep 0.5
hd=$(python3 -c 'import sys, xml.dom.minidom as m
c = [e for e in m.parse(sys.argv[1]).getElementsByTagName("category") if e.getAttribute("tag")][0]
print(c.getElementsByTagName("FormatInfo")[0].getAttribute("ID"))' "$bin/ProfileMenu.dll")
grep -q "^recent=$hd," "$home/.local/share/Vantosoft/vantooptions.ini" ||
    fail "the chosen HD profile is not the most recent one: $(grep recent "$home/.local/share/Vantosoft/vantooptions.ini")"

look_at_settings "Format Setting" settings

# Tools > Customize Profiles, cancelled.
$xd click $((wx + 100)) $((wy + 36))
sleep 0.4
$xd key Down Down Return
$xd wait "Customize Profiles" 10 >/dev/null || fail "the profile tree did not open"
sleep 0.5
shoot profile_tree
$xd key Escape
$xd gone "Customize Profiles" 10 || fail "the profile tree did not close"

# Tools > Preferences: the language list has the focus; Chinese is the second entry.
$xd click $((wx + 100)) $((wy + 36))
sleep 0.4
$xd key Down Return
$xd wait "Preferences" 10 >/dev/null || fail "the preferences did not open"
sleep 0.5
$xd key Down
sleep 0.3
shoot preferences
$xd key Return
$xd gone "Preferences" 10 || fail "the preferences did not close"
grep -q "^language=zh" "$home/.local/share/Vantosoft/vantooptions.ini" || fail "Chinese was not saved"
stop_program

# In Chinese after the restart.
start_program
sleep 0.5
add_folder "$media" "选择要添加其中媒体文件的文件夹"
sleep 1.5
shoot main_window_zh
open_picker
shoot picker_zh
# A click on the row closes the picker and leaves the window usable.
$xd click $((wx + 250)) $((wy + 483))
sleep 0.5
look_at_settings "格式设置" settings_zh
$xd click $((wx + 724)) $((wy + 498))
$xd wait "正在转换" 10 >/dev/null || fail "the conversion window did not open in Chinese"
sleep 0.3
shoot converting_zh
$xd gone "正在转换" 60 || fail "the conversion did not end"
sleep 0.5
$xd key Return
close_program
