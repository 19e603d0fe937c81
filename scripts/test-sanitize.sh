#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole test suite there; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh test
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRION_SANITIZE=ON >/dev/null
cmake --build build-asan
# Only what Qt's offscreen platform leaves behind at exit is suppressed.
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd build-asan
ctest --output-on-failure --timeout 600 "$@"
