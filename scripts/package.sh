#!/usr/bin/env bash
# Builds the Debian package into build-package/ (vestrion_<version>_<arch>.deb).
# Extra CMake arguments pass through, e.g. -DVESTRION_QT6=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh package >&2
# Hardened as Debian builds its own packages.
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESTRION_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" "$@" >/dev/null
cmake --build build-package
(cd build-package && cpack >/dev/null)
ls build-package/vestrion_*.deb
