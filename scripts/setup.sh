#!/usr/bin/env bash
# Installs the Debian packages Quorlin needs (only when some are missing) and
# builds it into ./build (or the folder given after the mode, with any further
# cmake options):
#   setup.sh run [BUILD [OPTION...]]    what building and running need; builds
#                                       the two programs alone, no tests;
#   setup.sh tests [BUILD [OPTION...]]  that and what the tests need; builds
#                                       the programs and every test.
set -euo pipefail
cd "$(dirname "$0")/.."

# Building and running: the compiler and build tools, Qt and libcurl, the
# certificates for HTTPS pages, the splash's fonts, and Qt's platform plugin
# for native windows on Wayland sessions.
RUN_PACKAGES=(qt6-base-dev libcurl4-openssl-dev cmake g++ make ca-certificates fonts-liberation2
              qt6-wayland)

# The tests, on top of those.
TEST_PACKAGES=(
    # The HTTPS tests' certificates.
    openssl
    # The fuzz targets: clang++ and its libFuzzer and sanitizer runtimes.
    clang libclang-rt-14-dev
    # The install, package and desktop tests: entry validation, cpack's
    # dependency scan, and an X screen with a tray host and X tools.
    desktop-file-utils dpkg-dev file xvfb trayer xdotool x11-utils libxcb1-dev
    # The Wayland desktop test: a session bus, a compositor, a tray host, a
    # screenshot tool, Qt's Wayland platform plugin, and the Wayland client
    # library with its scanner for the test's virtual pointer.
    dbus-daemon sway waybar grim qt6-wayland libwayland-dev pkg-config
)

mode=${1:-}
shift || true
build=${1:-build}
shift || true
case $mode in
run)
    bash scripts/install-packages.sh "${RUN_PACKAGES[@]}"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF "$@"
    ;;
tests)
    bash scripts/install-packages.sh "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@"
    ;;
*)
    echo "usage: $0 run|tests [BUILD [CMAKE OPTION...]]" >&2
    exit 2
    ;;
esac
cmake --build "$build" -j"$(nproc)"
