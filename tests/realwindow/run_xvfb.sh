#!/bin/sh
# Runs a command with DISPLAY set to a private Xvfb server, which is stopped afterwards.
# usage: run_xvfb.sh COMMAND [ARGS...]
set -u
tmp=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
i=0
while [ ! -s "$tmp/display" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
if [ ! -s "$tmp/display" ]; then
    echo "Xvfb did not start:"; cat "$tmp/xvfb.log"; kill $xvfb 2>/dev/null; exit 1
fi
DISPLAY=":$(cat "$tmp/display")"
export DISPLAY
"$@"
rc=$?
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
rm -rf "$tmp"
exit $rc
