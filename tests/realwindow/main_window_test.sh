#!/bin/sh
# Starts the built program in a real window with an empty home folder, waits for the main
# window, saves a screenshot, checks that the per-user options file was installed from the
# template, opens the help window with F1 (screenshot), and closes the window. Run under
# run_xvfb.sh.
# usage: main_window_test.sh PROGRAM_DIR SCREENSHOT_DIR
set -u
bin=$1
shots=$2
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

start_program
echo "main window on screen after $(( (shown - started) / 1000000 )) ms"
sleep 1
$xd shot "$shots/main_window.png" || fail "screenshot failed"
echo "screenshot: $shots/main_window.png"
[ -f "$home/.local/share/Vantosoft/vantooptions.ini" ] || fail "the per-user options file was not created"
# start_program put the template there with one line added (the update check stays local); the
# program read it and kept it.
grep -v '^update_server=' "$home/.local/share/Vantosoft/vantooptions.ini" | cmp -s "$bin/vantooptions.ini" - ||
    fail "the per-user options file is not a copy of the template"
# F1 opens the help pages inside the program.
$xd click $((wx + 600)) $((wy + 300))  # the window takes the keyboard
sleep 0.3
$xd key F1
$xd wait "Help Contents" 10 >/dev/null || fail "F1 did not open the help window"
sleep 0.8
$xd shot "$shots/help_window.png"
echo "screenshot: $shots/help_window.png"
$xd key Escape
$xd gone "Help Contents" 10 || fail "the help window did not close"
close_program
