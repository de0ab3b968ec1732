#!/bin/sh
# ThreadSanitizer pass (by hand, not part of the CI): builds with clang and -fsanitize=thread in
# build-tsan the engine's test programs, vanto-convert, its conversion tests and the dispatcher's
# test, runs them (one codec thread per task unless a test asks for more) and fails on any test
# failure or any ThreadSanitizer report, also those of the vanto-convert processes the tests
# start (their stderr is often captured, so every process writes its reports to
# build-tsan/tsan-reports). Extra arguments go to ctest (e.g. -R Concurrency).
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTO_SANITIZE=thread >/dev/null
nice -n 10 cmake --build build-tsan -j"$(nproc)" --target vanto-convert engine_loader_test \
    engine_probe_test engine_options_test engine_run_test engine_cli_test engine_player_test \
    convert_cli_test app_utils_test
reports="$root/build-tsan/tsan-reports"
rm -rf "$reports"
mkdir -p "$reports"
# ctest puts the suppressions (tests/sanitizers/tsan.supp) in front of these.
export TSAN_OPTIONS="log_path=$reports/report:second_deadlock_stack=1"
export SDL_AUDIODRIVER=dummy
# Every suite of the engine's tests (as their sources name them), the command-line conversions
# and the application's dispatcher.
suites=$(grep -ho '^TEST\(_F\)\?([A-Za-z0-9_]*' tests/engine/*/*.cpp | sed 's/.*(//' | sort -u | paste -sd'|' -)
status=0
(cd build-tsan && ctest --output-on-failure -R "^($suites|CliConvert|QtDispatcherSend)\\..*\$" "$@") || status=1
if [ -n "$(ls "$reports")" ]; then
    echo "ThreadSanitizer reports:"
    grep -h -A3 '^WARNING: ThreadSanitizer' "$reports"/* | head -n 200
    echo "(all in $reports)"
    status=1
fi
exit $status
