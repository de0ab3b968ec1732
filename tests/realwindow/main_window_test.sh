#!/bin/sh
# Starts the built program in a real window with an empty home folder, waits for the main
# window, saves a screenshot, checks that the per-user options file was installed from the
# template, and closes the window. Run under run_xvfb.sh.
# usage: main_window_test.sh PROGRAM_DIR SCREENSHOT_DIR
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
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; rm -rf "$home"; exit 1; }

start=$(date +%s%N)
"$bin/vanto" >"$home/stdout.log" 2>&1 &
pid=$!
geometry=$($xd wait "$title" 20) || fail "the main window did not appear"
now=$(date +%s%N)
echo "main window on screen after $(( (now - start) / 1000000 )) ms (geometry: $geometry)"
sleep 1
$xd shot "$shots/main_window.png" || fail "screenshot failed"
echo "screenshot: $shots/main_window.png"
[ -f "$home/.local/share/Vantosoft/vantooptions.ini" ] || fail "the per-user options file was not created"
cmp -s "$bin/vantooptions.ini" "$home/.local/share/Vantosoft/vantooptions.ini" ||
    fail "the per-user options file is not a copy of the template"
$xd close "$title" || fail "could not ask the window to close"
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after its window was closed"
wait "$pid"
rc=$?
[ $rc -eq 0 ] || { cat "$home/stdout.log"; fail "the program ended with status $rc"; }
rm -rf "$home"
echo "PASS"
