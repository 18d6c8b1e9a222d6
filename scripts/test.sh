#!/usr/bin/env bash
# Sets everything up and runs every test. Extra arguments go to cmake, and the
# build folder is $QUORLIN_BUILD (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUORLIN_BUILD:-build}
bash scripts/setup.sh "$build" "$@"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
