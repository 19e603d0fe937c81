#!/usr/bin/env bash
# Configures and builds Vestrion (the program, its tool, the catalogue and the
# tests) into build/, or into build-qt6/ with Qt 6 when VESTRION_QT6=1.
# Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/deps.sh"
if [ "${VESTRION_QT6:-0}" = 1 ]; then
    cmake -S . -B build-qt6 -G Ninja -DVESTRION_QT6=ON "$@" >/dev/null
    cmake --build build-qt6
else
    cmake -S . -B build -G Ninja "$@" >/dev/null
    cmake --build build
fi
