#!/usr/bin/env bash
# Installs the Debian packages Quorlin needs (only when some are missing) and
# builds it into ./build (or the folder given as $1, with any further cmake options).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(qt6-base-dev libcurl4-openssl-dev cmake g++ make ca-certificates fonts-liberation2
          openssl
          # The fuzz targets: clang++ and its libFuzzer and sanitizer runtimes.
          clang libclang-rt-14-dev
          # The install, package and desktop tests: entry validation, cpack's
          # dependency scan, and an X screen with a tray host and X tools.
          desktop-file-utils dpkg-dev file xvfb trayer xdotool x11-utils libxcb1-dev)

bash scripts/install-packages.sh "${PACKAGES[@]}"

build=${1:-build}
shift || true
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j"$(nproc)"
