#!/usr/bin/env bash
# Builds Vestrion and starts it with the bundled catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
exec ./build/vestrion "$@"
