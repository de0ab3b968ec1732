#!/bin/sh
# The window as a user meets it under a window manager (openbox): the still picture of a selected
# row, a sound file playing as a wave, the window resized, the help window, and the profile picker
# and the settings dialog in Chinese. Saves a screenshot of each. Run under run_xvfb.sh.
# usage: window_look_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"
export SDL_AUDIODRIVER=dummy
command -v openbox >/dev/null || fail "openbox is not installed"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 0.5

media="$home/clips"
mkdir -p "$media"
make_clip "$media/a_holiday.mp4" 6 640x360
ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=330:duration=10" -f lavfi \
    -i "sine=frequency=1200:duration=10" -filter_complex amerge -c:a aac "$media/b_song.m4a" || fail "fixture"

shoot() {
    $xd shot "$shots/$1.png"
    echo "screenshot: $shots/$1.png"
}

start_program
sleep 0.5
add_folder "$media"
sleep 1.5
# The first row selected: its picture without playing.
$xd click $((wx + 120)) $((wy + 134))
sleep 1.5
shoot look_still
# The second row played: the sound as a wave, the time beside the slider.
$xd key Down
sleep 0.3
$xd click $((wx + 589)) $((wy + 423))
sleep 2.5
shoot look_sound_wave
# A click on the panel: the spectrum.
$xd click $((wx + 718)) $((wy + 254))
sleep 1
shoot look_sound_spectrum
# Larger: the list wider, the preview bigger in its shape.
$xd resize "$title" 1240 760
sleep 1.5
shoot look_resized
# F1: the help window.
$xd key F1
$xd wait "Help Contents" 10 >/dev/null || fail "the help window did not open"
sleep 0.8
shoot look_help
$xd close "Help Contents"
$xd gone "Help Contents" 10 || fail "the help window did not close"
stop_program

# In Chinese, at the first size again: the picker.
opts="$home/.local/share/Vantosoft/vantooptions.ini"
grep -q '^main_window=' "$opts" || fail "the window's place was not kept"
sed -i -e 's/^language=[a-z]*/language=zh/' -e '/^main_window=/d' "$opts"
start_program
sleep 0.5
$xd click $((wx + 250)) $((wy + 483))
sleep 0.8
shoot look_picker_zh
$xd key Escape
sleep 0.3
# The settings dialog in Chinese: its lists show their values in Chinese too.
$xd click $((wx + 572)) $((wy + 484))
$xd wait "格式设置" 10 >/dev/null || fail "the settings dialog did not open in Chinese"
sleep 0.8
shoot look_settings_zh
$xd key Escape
$xd gone "格式设置" 10 || fail "the settings dialog did not close"
close_program
kill $wm 2>/dev/null
