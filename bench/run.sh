#!/usr/bin/env bash
# Measures Quorlin beside its references and writes docs/performance.md:
#   1. the page text and check-string search over 10 MB pages beside memchr;
#   2. a whole check run over 200 pages of 100 KB served by nginx on 127.0.0.1,
#      beside curl fetching the same pages and one pass of urlwatch over them;
#   3. the store's share of a run over 1000 tiny pages;
#   4. the resident footprint and start-up time of the real checker, beside
#      the least Qt tray program.
# Installs what is missing from Debian, builds in Release into build-bench
# (or $QUORLIN_BENCH_BUILD). Takes a few minutes; not part of CI.
# ROUNDS (default 7) sets how many times each comparison is run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
ROUNDS=${ROUNDS:-7}
BUILD=${QUORLIN_BENCH_BUILD:-build-bench}
OUT=${QUORLIN_BENCH_OUT:-docs/performance.md}

PACKAGES=(nginx urlwatch curl time libbenchmark-dev python3 procps)
missing=()
for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends \
        "${missing[@]}"
fi
bash scripts/setup.sh "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUORLIN_BENCH=ON -DBUILD_TESTING=OFF
BIN=$ROOT/$BUILD/bin

WORK=$(mktemp -d /tmp/quorlin-bench.XXXXXX)
chmod 755 "$WORK" # nginx's workers read the pages as another user
NGINX_PID=
PROGRAM_PID=
cleanup() {
    if [ -n "$PROGRAM_PID" ]; then kill "$PROGRAM_PID" 2>/dev/null || true; fi
    if [ -n "$NGINX_PID" ]; then
        kill "$NGINX_PID" 2>/dev/null || true
        wait "$NGINX_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

RESULTS=$WORK/results
: >"$RESULTS"
record() { echo "$*" >>"$RESULTS"; }

# Runs a command with its output thrown away; records its wall time in ms
# (from before the fork to after the exit) and its peak resident memory in KB.
measure() {
    local name=$1
    shift
    local start end
    start=$EPOCHREALTIME
    /usr/bin/time -f '%M' -o "$WORK/peak" "$@" >"$WORK/out" 2>"$WORK/err" || {
        echo "failed: $*" >&2
        cat "$WORK/err" >&2
        exit 1
    }
    end=$EPOCHREALTIME
    record "${name}_wall_ms $(python3 -c "print(($end - $start) * 1000)")"
    record "${name}_peak_kb $(tail -1 "$WORK/peak")"
}

echo "== machine"
{
    echo "cpu $(lscpu | sed -n 's/^Model name: *//p' | head -1)"
    echo "cores $(nproc)"
    echo "memory $(free -m | awk '/^Mem:/ {print $2 " MB"}')"
    echo "system $(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r)"
    echo "compiler $(c++ --version | head -1)"
    echo "qt $(dpkg-query -W -f='${Version}' qt6-base-dev)"
    echo "libcurl $(dpkg-query -W -f='${Version}' libcurl4-openssl-dev)"
    echo "nginx $(dpkg-query -W -f='${Version}' nginx)"
    echo "curl $(dpkg-query -W -f='${Version}' curl)"
    echo "urlwatch $(dpkg-query -W -f='${Version}' urlwatch)"
    echo "date $(date -u '+%Y-%m-%d %H:%M UTC')"
} >"$WORK/machine"
cat "$WORK/machine"

echo "== page text"
"$BIN/bench_pagecheck" --benchmark_repetitions="$ROUNDS" --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$WORK/pagecheck.json" >/dev/null

echo "== pages and nginx"
"$BIN/bench_checkrun" pages "$WORK/www/big" 200 100000
"$BIN/bench_checkrun" pages "$WORK/www/tiny" 1000 500
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$WORK/nginx/logs" "$WORK/nginx/tmp"
cat >"$WORK/nginx/nginx.conf" <<EOF
daemon off;
worker_processes 1;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/logs/error.log;
events { worker_connections 256; }
http {
    access_log off;
    client_body_temp_path $WORK/nginx/tmp/body;
    proxy_temp_path $WORK/nginx/tmp/proxy;
    fastcgi_temp_path $WORK/nginx/tmp/fastcgi;
    uwsgi_temp_path $WORK/nginx/tmp/uwsgi;
    scgi_temp_path $WORK/nginx/tmp/scgi;
    types { text/html html; }
    sendfile on;
    keepalive_requests 100000;
    server { listen 127.0.0.1:$PORT; root $WORK/www; }
}
EOF
nginx -e "$WORK/nginx/logs/error.log" -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" &
NGINX_PID=$!
for _ in $(seq 100); do
    curl -sf -o /dev/null "http://127.0.0.1:$PORT/big/page1.html" && break
    sleep 0.05
done
curl -sf -o /dev/null "http://127.0.0.1:$PORT/big/page1.html"
BASE=http://127.0.0.1:$PORT

# The references' inputs: a curl config that fetches every page in one
# process, and urlwatch's job list with its own config, cache and home.
for set in big:200 tiny:1000; do
    name=${set%%:*}
    count=${set##*:}
    "$BIN/bench_checkrun" urls "$BASE/$name" "$count" >"$WORK/$name.urls"
    sed 's/.*/output = "\/dev\/null"\nurl = "&"/' "$WORK/$name.urls" >"$WORK/$name.curl"
done
mkdir -p "$WORK/urlwatch"
awk '{ printf "name: \"page %d\"\nurl: \"%s\"\n---\n", NR, $0 }' "$WORK/big.urls" \
    >"$WORK/urlwatch/urls.yaml"
URLWATCH=(env HOME="$WORK/urlwatch" urlwatch --urls "$WORK/urlwatch/urls.yaml"
          --config "$WORK/urlwatch/urlwatch.yaml" --hooks "$WORK/urlwatch/hooks.py"
          --cache "$WORK/urlwatch/cache.db")
# The first pass fills urlwatch's cache; the measured passes find no change.
"${URLWATCH[@]}" >/dev/null

export XDG_CONFIG_HOME=$WORK/config XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Warms the page cache and nginx for every contender alike.
curl -s -K "$WORK/big.curl"
curl -s -K "$WORK/tiny.curl"

echo "== check runs ($ROUNDS rounds)"
for round in $(seq "$ROUNDS"); do
    echo "round $round"
    measure curl200 curl -s -K "$WORK/big.curl"
    measure urlwatch200 "${URLWATCH[@]}"
    measure quorlin200 "$BIN/bench_checkrun" run "$BASE/big" 200
    while read -r key value; do record "quorlin200_$key $value"; done <"$WORK/out"
    measure curl1000 curl -s -K "$WORK/tiny.curl"
    measure quorlin1000 "$BIN/bench_checkrun" run "$BASE/tiny" 1000
    while read -r key value; do record "quorlin1000_$key $value"; done <"$WORK/out"
done

# Starts a program, waits until it listens on its socket in
# $XDG_RUNTIME_DIR/QL/, and records the time that took, its memory after
# SETTLE seconds, and the CPU time it uses over IDLE more seconds.
SETTLE=${SETTLE:-5}
IDLE=${IDLE:-20}
resident() {
    local name=$1 socket=$2
    shift 2
    local start ready ticks_before ticks_after
    rm -rf "$XDG_RUNTIME_DIR/QL"
    start=$EPOCHREALTIME
    QT_QPA_PLATFORM=offscreen "$@" >/dev/null 2>&1 &
    PROGRAM_PID=$!
    until [ -S "$XDG_RUNTIME_DIR/QL/$socket.$PROGRAM_PID" ]; do
        kill -0 "$PROGRAM_PID" 2>/dev/null || {
            echo "$name ended before it listened" >&2
            exit 1
        }
        sleep 0.001
    done
    ready=$EPOCHREALTIME
    record "${name}_startup_ms $(python3 -c "print(($ready - $start) * 1000)")"
    sleep "$SETTLE"
    record "${name}_rss_kb $(awk '/^VmRSS:/ {print $2}' "/proc/$PROGRAM_PID/status")"
    record "${name}_hwm_kb $(awk '/^VmHWM:/ {print $2}' "/proc/$PROGRAM_PID/status")"
    record "${name}_pss_kb $(awk '/^Pss:/ {print $2}' "/proc/$PROGRAM_PID/smaps_rollup")"
    ticks_before=$(awk '{print $14 + $15}' "/proc/$PROGRAM_PID/stat")
    sleep "$IDLE"
    ticks_after=$(awk '{print $14 + $15}' "/proc/$PROGRAM_PID/stat")
    record "${name}_idle_cpu_ms $(((ticks_after - ticks_before) * 1000 / $(getconf CLK_TCK)))"
    kill "$PROGRAM_PID"
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=
}

echo "== resident checker"
"$BIN/bench_checkrun" list "$BASE/big" 200
for round in 1 2 3; do
    resident floor floor "$BIN/bench_trayfloor"
    resident checker Quorlin "$BIN/Quorlin"
done
record "idle_seconds $IDLE"
record "settle_seconds $SETTLE"
record "rounds $ROUNDS"

python3 bench/report.py "$WORK/machine" "$WORK/pagecheck.json" "$RESULTS" >"$OUT"
echo "wrote $OUT"
