#!/usr/bin/env bash
# Builds tolscript with its tests and runs the whole suite.
# TOLSCRIPT_WERROR=ON treats warnings as errors; BUILD_DIR picks the folder.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/ensure-packages.sh
ensure_packages cmake make g++ lua5.1 liblua5.1-0-dev googletest libgtest-dev

build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DTOLSCRIPT_TESTS=ON -DTOLSCRIPT_WERROR="${TOLSCRIPT_WERROR:-OFF}" \
  ${TOLSCRIPT_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build" && ctest --output-on-failure -j"$(nproc)"
