#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole suite offscreen.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages "${MBV_BUILD_PACKAGES[@]}" "${MBV_TEST_PACKAGES[@]}"

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMBV_TESTS=ON \
    -DMBV_SANITIZE=address,undefined
cmake --build build-test

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-test --output-on-failure -j "$(nproc)"

# Code that runs threads, once more under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMBV_TESTS=ON -DMBV_SANITIZE=thread
cmake --build build-tsan --target IdIPWatchTest
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -L thread

# The import readers under libFuzzer, a few seconds each from their seed corpus.
scripts/fuzz.sh 5
