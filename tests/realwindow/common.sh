# Shared steps of the real-window tests (sourced; run under run_xvfb.sh).
# Needs $bin (program folder) and $shots (screenshot folder) set by the caller.
here=$(cd "$(dirname "$0")" && pwd)
xd="/usr/bin/python3 $here/xdriver.py"
title="Vanto Video Converter"
mkdir -p "$shots"
home=$(mktemp -d)
export HOME="$home"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_DOCUMENTS_DIR
pid=""

# fail MESSAGE: saves a screenshot of the failure, ends the program, exits 1.
fail() {
    echo "FAIL: $*"
    $xd shot "$shots/$(basename "$0" .sh)_failed.png"
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$home"
    exit 1
}

# make_clip FILE SECONDS SIZE: a test pattern with a tone.
make_clip() {
    ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=$3:rate=25:duration=$2" \
        -f lavfi -i "sine=frequency=440:duration=$2" -map 0:v -map 1:a -shortest "$1" || fail "fixture $1"
}

# start_program: starts it and waits for the main window; sets wx, wy (its client origin).
start_program() {
    # The program's automatic update check goes to 127.0.0.1, where nothing listens, never to
    # the real update server.
    opts="$home/.local/share/Vantosoft/vantooptions.ini"
    if [ ! -f "$opts" ] && [ -f "$bin/vantooptions.ini" ]; then
        mkdir -p "$(dirname "$opts")"
        cp "$bin/vantooptions.ini" "$opts"
        printf 'update_server=http://127.0.0.1:9\r\n' >>"$opts"
    fi
    started=$(date +%s%N)
    "$bin/vanto" >"$home/stdout.log" 2>&1 &
    pid=$!
    geometry=$($xd wait "$title" 20) || fail "the main window did not appear"
    shown=$(date +%s%N)
    set -- $geometry
    wx=$2
    wy=$3
}

# add_folder FOLDER [CHOOSER_TITLE]: File > Add Folder, typing the folder into the chooser.
add_folder() {
    $xd click $((wx + 23)) $((wy + 36))
    sleep 0.4
    $xd key Down Down Return
    chooser="${2:-Choose a folder whose media files you want to add}"
    $xd wait "$chooser" 10 >/dev/null || fail "the folder chooser did not open"
    sleep 0.5
    $xd key ctrl+a
    $xd type "$1"
    $xd key Return
    $xd gone "$chooser" 10 || fail "the folder chooser did not close"
}

# stop_program: closes the main window and checks that the program ends well (the home folder
# stays, so the program can be started again with the same settings).
stop_program() {
    $xd close "$title" || fail "could not ask the window to close"
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    kill -0 "$pid" 2>/dev/null && fail "the program did not end after its window was closed"
    wait "$pid" || { cat "$home/stdout.log"; fail "the program ended with an error"; }
}

# close_program: stop_program, then the home folder is removed and the test passes.
close_program() {
    stop_program
    rm -rf "$home"
    echo "PASS"
}
