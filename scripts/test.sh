#!/usr/bin/env bash
# Builds Vestrion and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
cd build
ctest --output-on-failure --timeout 300 "$@"
