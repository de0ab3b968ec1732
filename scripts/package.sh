#!/bin/sh
# Builds the Debian package (CPack's DEB generator) and checks its round trip on this machine:
# installs it with apt-get, which pulls in the libraries it names, starts `vanto-convert --help`
# and the window (under a private Xvfb server, with a screenshot), and removes it cleanly.
# Needs root for apt-get; refuses to touch an installed vanto package it did not install.
# usage: scripts/package.sh [BUILD_DIR]   (default: build-package; the package stays there)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-package}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
if dpkg-query -W -f='${Status}' vanto 2>/dev/null | grep -q "install ok installed"; then
    fail "a vanto package is installed already; remove it first (apt-get remove vanto)"
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2
rm -f "$build"/vanto_*.deb
(cd "$build" && cpack -G DEB) || fail "cpack failed"
deb=$(ls "$build"/vanto_*.deb)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y -qq "$deb" >"$build/apt-install.log" 2>&1 || {
    cat "$build/apt-install.log"
    fail "apt-get install of the package failed"
}
echo "installed: $(dpkg-query -W -f='${Package} ${Version}' vanto)"
removed=false
cleanup() { $removed || $SUDO apt-get remove -y -qq vanto >/dev/null 2>&1 || true; }
trap cleanup EXIT

command -v vanto >/dev/null || fail "vanto is not on the PATH"
vanto-convert --help >/dev/null || fail "vanto-convert --help failed"
vanto --version || fail "vanto --version failed"
desktop-file-validate /usr/share/applications/vanto.desktop || fail "the installed desktop entry is not valid"
"$here/tests/realwindow/run_xvfb.sh" "$here/tests/realwindow/main_window_test.sh" /usr/lib/vanto \
    "$build/screenshots" || fail "the installed program's window did not open"

$SUDO apt-get remove -y -qq vanto >/dev/null || fail "apt-get remove failed"
removed=true
for f in /usr/bin/vanto /usr/bin/vanto-convert /usr/lib/vanto /usr/share/applications/vanto.desktop \
    /usr/share/icons/hicolor/48x48/apps/vanto.png; do
    [ -e "$f" ] && fail "$f is left after removing the package"
done
echo "package round trip in order: $deb"
