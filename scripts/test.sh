#!/usr/bin/env bash
# Builds Vestrion and runs every test through CTest (Qt 6 with VESTRION_QT6=1),
# then a short fixed-seed run of the catalogue fuzzers (with Qt 5).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
build=build
[ "${VESTRION_QT6:-0}" = 1 ] && build=build-qt6
(cd "$build" && ctest --output-on-failure --timeout 300 "$@")
if [ "${VESTRION_QT6:-0}" != 1 ]; then
    ./scripts/fuzz.sh
fi
