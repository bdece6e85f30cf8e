#!/bin/sh
# Builds corvantis with warnings as errors and runs every test.
#   BUILD_DIR   build directory (default: build-test)
#   CMAKE_ARGS  extra arguments for the configure step
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --test
dir="${BUILD_DIR:-build-test}"
# shellcheck disable=SC2086
cmake -S . -B "$dir" -G Ninja -DCORVANTIS_WERROR=ON ${CMAKE_ARGS:-}
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j2
