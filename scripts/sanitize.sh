#!/bin/sh
# The sanitizer pass: the engine's test programs and the fuzz targets' seeds and past findings
# under AddressSanitizer and UndefinedBehaviorSanitizer (every finding fatal), then a short run
# of every fuzz target (FUZZ_SECONDS, default 10). Fails when anything fails.
set -e
cd "$(dirname "$0")/.."
./scripts/sanitize-build.sh
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$(pwd)/tests/sanitizers/lsan.supp"
export SDL_AUDIODRIVER=dummy
status=0
# Every suite of the engine's tests (as their sources name them) and the fuzz regressions.
suites=$(grep -ho '^TEST\(_F\)\?([A-Za-z0-9_]*' tests/engine/*/*.cpp | sed 's/.*(//' | sort -u | paste -sd'|' -)
cd build-asan
ctest --output-on-failure -j"$(nproc)" -R "^(fuzz_regressions_.*|($suites)\..*)\$" || status=1
cd ..
./scripts/fuzz.sh "${FUZZ_SECONDS:-10}" || status=1
exit $status
