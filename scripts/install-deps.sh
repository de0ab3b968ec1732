#!/bin/sh
# Installs everything needed to build, run and test Vanto Video Converter on Debian 12.
# Idempotent: packages already present are left alone.
set -e
PKGS="build-essential cmake ninja-build pkg-config clang-format
qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6sql6-sqlite libgl-dev
libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev libswresample-dev libavdevice-dev
libsdl2-dev libpcre2-dev libsodium-dev minisign libjpeg62-turbo-dev liblog4cplus-dev
libgtest-dev libgmock-dev
clang libclang-rt-14-dev
xvfb xauth x11-utils ffmpeg python3 python3-xlib fonts-dejavu-core fonts-wqy-microhei trayer tinyproxy
desktop-file-utils openbox qt6-translations-l10n bc time"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
