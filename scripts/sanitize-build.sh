#!/bin/sh
# Configures and builds the sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer,
# libFuzzer targets) in build-asan: the engine's test programs and the fuzz targets only.
set -e
cd "$(dirname "$0")/.."
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTO_SANITIZE=address -DVANTO_FUZZ=ON >/dev/null
cmake --build build-asan -j"$(nproc)" --target vanto_fuzzers engine_loader_test engine_probe_test \
    engine_options_test engine_run_test engine_cli_test engine_player_test
