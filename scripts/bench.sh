#!/usr/bin/env bash
# Builds the benchmarks in Release into build-bench/ and runs them.
# Arguments go to the benchmark program, for example --benchmark_repetitions=3
# or --benchmark_filter='^(search|paint)/'; --benchmark_filter='^start/' gives
# the whole-program figures alone (start-up to first paint, peak memory).
# A full run takes a few minutes; the machine should be as quiet as it gets.
# label/real reads the real photos in ../shared/photos-real beside the project
# (VESTRION_REAL_PHOTOS names another folder) and is skipped without them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESTRION_BENCH=ON >/dev/null
# Two jobs at most: the machine is shared.
cmake --build build-bench --target vestrion-bench -- -j2 >&2

export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
./build-bench/vestrion-bench "$@"
