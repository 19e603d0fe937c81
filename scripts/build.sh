#!/usr/bin/env bash
# Configures and builds Vestrion into build/ (the program, its tool, the catalogue and the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/deps.sh"
cmake -S . -B build -G Ninja "$@" >/dev/null
cmake --build build
