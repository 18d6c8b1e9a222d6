#!/usr/bin/env bash
# Takes the README's pictures into docs/: builds with the tests, among which
# the two picture programs are (through setup.sh, into ./build or
# $QUORLIN_BUILD), starts a virtual X screen with a window manager and a tray
# host, and runs the picture programs on it; then the tray menu on a headless
# Wayland desktop with its own tray host. Installs openbox, the window manager
# that draws the frames, when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUORLIN_BUILD:-build}
bash scripts/setup.sh tests "$build"

bash scripts/install-packages.sh openbox

run=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$run" "${wayland_out:-}"
}
trap cleanup EXIT

source scripts/virtual-screen.sh
start_virtual_screen "$run" -wr
pids+=("$XVFB_PID")
export QT_QPA_PLATFORM=xcb

# A home of its own, so that the window manager's and the tray's settings
# are their defaults.
export HOME=$run XDG_CONFIG_HOME=$run/config XDG_RUNTIME_DIR=$run/runtime
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

openbox >"$run/openbox.log" 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype percent --width 100 --height 28 --SetDockType true \
       --transparent false >"$run/trayer.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xwininfo -root -tree | grep -q '("panel" "trayer")' && break
    sleep 0.1
done

mkdir -p docs
"$build/tests/shots_checker" docs
"$build/tests/shots_config" docs

# The tray menu on a Wayland desktop: shots_wayland starts its own headless
# sway with waybar's tray. As root it runs as a user of its own, so it writes
# into a folder that user can write to.
wayland_out=$(mktemp -d)
chmod 777 "$wayland_out"
"$build/tests/shots_wayland" "$wayland_out"
cp "$wayland_out/tray-menu-wayland.png" docs/
ls -l docs/*.png
