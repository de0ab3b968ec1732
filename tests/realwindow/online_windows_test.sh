#!/bin/sh
# The download window with two transfers in progress, the update window downloading and the
# online video dialog reading a slow page, on a real display, against the local test server; screenshots are saved while they run.
# Run under run_xvfb.sh.
# usage: online_windows_test.sh TESTS_DIR SCREENSHOT_DIR
set -u
tests=$1
shots=$2
bin=$tests
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

show() {  # show MODE WINDOW_TITLE SCREENSHOT
    "$tests/online_windows_show" "$1" >"$home/$1.log" 2>&1 &
    pid=$!
    $xd wait "$2" 20 >/dev/null || fail "the $1 window did not appear"
    sleep 1.5
    $xd shot "$shots/$3"
    echo "screenshot: $shots/$3"
    wait "$pid" || { cat "$home/$1.log"; fail "the $1 window did not finish its transfers"; }
    pid=""
    cat "$home/$1.log"
}

show download "Downloading" online_download.png
show update "Update" online_update.png
show page "Online Video" online_page.png
rm -rf "$home"
