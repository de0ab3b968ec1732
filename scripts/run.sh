#!/bin/sh
# Builds the program and starts it. Without a display, explains how to use the command-line
# converter instead.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
    echo "No display is available, so the window can't open here."
    echo "The command-line converter works without one:"
    exec build/bin/vanto-convert --help
fi
exec build/bin/vanto "$@"
