#!/bin/sh
# Builds everything and runs the whole test suite. Ends with ctest's summary.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
cd build
exec ctest --output-on-failure -j"$(nproc)"
