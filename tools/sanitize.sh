#!/usr/bin/env bash
# Builds tolscript and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole suite. Any sanitizer report
# ends the reporting process with an error, so the suite fails on it.
# BUILD_DIR picks the folder (default build-sanitize). Warnings stay
# warnings here: GCC's instrumentation gives false -Wmaybe-uninitialized
# reports inside the standard library's <regex>; the plain build checks
# warnings.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/ensure-packages.sh
ensure_packages cmake make g++ lua5.1 liblua5.1-0-dev googletest libgtest-dev

build="${BUILD_DIR:-build-sanitize}"
cmake -S . -B "$build" -DTOLSCRIPT_TESTS=ON -DTOLSCRIPT_SANITIZE=ON -DTOLSCRIPT_WERROR=OFF \
  ${TOLSCRIPT_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"

# The tests and the program they start inherit these: leaks count, and the
# first report of either sanitizer ends the process.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
cd "$build" && ctest --output-on-failure -j"$(nproc)"
