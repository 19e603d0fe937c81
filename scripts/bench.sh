#!/usr/bin/env bash
# Builds the benchmarks in Release into build-bench/ and prints their table:
# loading, memory, start-up, code search and row painting at catalogue scale.
# Arguments go to the benchmark program, for example --repetitions=9 or
# --benchmark_filter='^(search|paint)/'. The table is kept in
# build-bench/bench-table.md, the full running report in build-bench/bench-report.txt.
# A full run takes a few minutes; the machine should be as quiet as it gets.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh

# What only the benchmarks need: Google Benchmark, and GNU time for the
# program's own peak memory.
missing=()
for package in libbenchmark-dev time; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        sudo=sudo
    else
        sudo=
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESTRION_BENCH=ON >/dev/null
# Two jobs at most: the machine is shared.
cmake --build build-bench --target vestrion-bench -- -j2 >&2

export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
./build-bench/vestrion-bench "$@" 2> >(tee build-bench/bench-report.txt >&2) | tee build-bench/bench-table.md
