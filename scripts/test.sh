#!/bin/sh
# Builds everything and runs the whole test suite, then the sanitizer pass (scripts/sanitize.sh:
# the engine's tests and the fuzz targets under AddressSanitizer and UndefinedBehaviorSanitizer,
# in build-asan). Fails when either fails.
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
status=0
(cd build && ctest --output-on-failure -j"$(nproc)") || status=1
./scripts/sanitize.sh || status=1
exit $status
