#!/usr/bin/env bash
# Builds Vestrion and runs every test through CTest (Qt 6 with VESTRION_QT6=1).
# Arguments go to ctest, for example -R tst_keys.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh test
./scripts/build.sh
if [ "${VESTRION_QT6:-0}" = 1 ]; then cd build-qt6; else cd build; fi
ctest --output-on-failure --timeout 300 "$@"
