#!/bin/sh
# Installs the build into a temporary prefix and checks the installed tree: every file in its
# place, the desktop entry valid, the installed programs working from PREFIX/bin.
# usage: install_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
p=$tmp/prefix
cmake --install "$build" --prefix "$p" >"$tmp/install.log" 2>&1 || {
    cat "$tmp/install.log"
    fail "cmake --install failed"
}

for exe in vanto vanto-convert; do
    [ -x "$p/lib/vanto/$exe" ] || fail "$exe is not in lib/vanto"
    [ "$(readlink "$p/bin/$exe")" = "../lib/vanto/$exe" ] || fail "bin/$exe is not a link to ../lib/vanto/$exe"
done
# Every shipped data file beside the executables, unchanged.
(cd "$src/data" && find . -type f) >"$tmp/data.list"
[ -s "$tmp/data.list" ] || fail "no data files listed"
while read -r f; do
    cmp -s "$src/data/$f" "$p/lib/vanto/$f" || fail "data file $f missing or different"
done <"$tmp/data.list"

desktop=$p/share/applications/vanto.desktop
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the desktop entry"
grep -qx 'Exec=vanto %F' "$desktop" || fail "the desktop entry does not pass its files to vanto"
for s in 16 22 24 32 48 64 128 256; do
    icon=$p/share/icons/hicolor/${s}x${s}/apps/vanto.png
    [ -f "$icon" ] || fail "no ${s}x${s} icon"
    size=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "bad")' "$icon")
    [ "$size" = "${s}x${s}" ] || fail "icon ${s}x${s} is $size"
done

# The installed programs, started through their links, find their libraries and data files.
export HOME="$tmp/home"
mkdir -p "$HOME"
"$p/bin/vanto" --version >"$tmp/version" || fail "vanto --version failed"
grep -q '^Vanto Video Converter [0-9]' "$tmp/version" || fail "vanto --version printed: $(cat "$tmp/version")"
env -u DISPLAY -u WAYLAND_DISPLAY "$p/bin/vanto" --help >"$tmp/help" || fail "vanto --help failed"
grep -q '^usage: vanto' "$tmp/help" || fail "vanto --help printed: $(cat "$tmp/help")"
ffmpeg -v error -f lavfi -i testsrc=duration=1:size=160x120:rate=25 -f lavfi -i sine=duration=1 \
    -c:v mpeg4 -c:a aac -shortest "$tmp/clip.mp4" || fail "could not make the test clip"
"$p/bin/vanto-convert" probe "$tmp/clip.mp4" >"$tmp/probe" || fail "installed vanto-convert probe failed"
grep -q 'Duration: 00:00:01' "$tmp/probe" || fail "probe printed: $(cat "$tmp/probe")"
"$p/bin/vanto-convert" profiles | grep -q '^1055	' || fail "installed vanto-convert does not find its profile catalogue"
echo "installed tree in order"
