#!/usr/bin/env bash
# Installs what building, running and testing need, builds the programs and
# every test, and runs the tests. Extra arguments go to cmake, and the build
# folder is $QUORLIN_BUILD (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUORLIN_BUILD:-build}
bash scripts/setup.sh tests "$build" "$@"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
