#!/usr/bin/env bash
# Measures Quorlin beside its references and writes docs/performance.md:
#   1. the page text and check-string search over 10 MB pages beside memchr;
#   2. a whole check run over 200 pages of 100 KB served by nginx on 127.0.0.1,
#      beside curl fetching the same pages (its transfers, and its whole
#      process) and one pass of urlwatch over them;
#   3. a run over 1000 tiny pages with the store's share of it, and both runs
#      taken apart: download with event loop and UTF-8 check, page text and
#      search, status window, store, with the page faults per page;
#   4. the resident checker on a virtual X screen with a window manager and a
#      real tray host: its start-up time, memory and idle CPU time beside the
#      least Qt tray program, and what each of its own pieces adds;
#   5. one save of the store, with 20 and with 5,000 actions, beside reading
#      the file and writing its bytes into a synced copy renamed over it.
# Installs what is missing from Debian, builds in Release into build-bench
# (or $QUORLIN_BENCH_BUILD). Takes about half an hour, most of it the idle
# minutes of part 4; not part of CI.
# ROUNDS (default 7) sets how many times each comparison is run; STARTS
# (default 15) how many starts part 4 times; RESIDENT_ROUNDS (default 3) how
# many times it waits for the checker's first run and then IDLE (default 300)
# seconds of idle time.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/virtual-screen.sh
ROOT=$PWD
ROUNDS=${ROUNDS:-7}
BUILD=${QUORLIN_BENCH_BUILD:-build-bench}
OUT=${QUORLIN_BENCH_OUT:-docs/performance.md}

# Every Qt program here but those of part 4 runs without a screen (the
# check-run bench makes the checker's status window, which nobody sees), so
# that the script runs on a machine with no display; part 4 starts its
# programs on an X screen of its own.
export QT_QPA_PLATFORM=offscreen

bash scripts/install-packages.sh nginx urlwatch curl time libbenchmark-dev python3 procps \
    xvfb openbox trayer x11-utils libxcb1-dev
# The programs and the benchmarks, without the tests.
bash scripts/setup.sh run "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUORLIN_BENCH=ON
BIN=$ROOT/$BUILD/bin

WORK=$(mktemp -d /tmp/quorlin-bench.XXXXXX)
chmod 755 "$WORK" # nginx's workers read the pages as another user
NGINX_PID=
PROGRAMS=()
DESKTOP=()
cleanup() {
    for pid in "${PROGRAMS[@]}" "${DESKTOP[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PROGRAMS[@]}" "${DESKTOP[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [ -n "$NGINX_PID" ]; then
        kill "$NGINX_PID" 2>/dev/null || true
        wait "$NGINX_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$WORK/config XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

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

# Warms the page cache and nginx for every contender alike.
curl -s -K "$WORK/big.curl"
curl -s -K "$WORK/tiny.curl"

# Runs curl over a list of COUNT pages as measure does (its whole process),
# and records beside that its transfers timed as the checker's run is: the sum
# of curl's own time of each page, from its request to its last byte.
measure_curl() {
    local name=$1 count=$2 list=$3 transfers
    measure "$name" curl -s -w '%{time_total}\n' -K "$list"
    transfers=$(awk -v count="$count" '{ s += $1; n++ }
        END { if (n != count) exit 1; printf "%.3f\n", s * 1000 }' "$WORK/out") || {
        echo "curl timed $(wc -l <"$WORK/out") transfers of $count" >&2
        exit 1
    }
    record "${name}_transfers_ms $transfers"
}

echo "== check runs ($ROUNDS rounds)"
for round in $(seq "$ROUNDS"); do
    echo "round $round"
    measure_curl curl200 200 "$WORK/big.curl"
    measure urlwatch200 "${URLWATCH[@]}"
    measure quorlin200 "$BIN/bench_checkrun" run "$BASE/big" 200 "$WORK/www/big"
    while read -r key value; do record "quorlin200_$key $value"; done <"$WORK/out"
    measure_curl curl1000 1000 "$WORK/tiny.curl"
    measure quorlin1000 "$BIN/bench_checkrun" run "$BASE/tiny" 1000 "$WORK/www/tiny"
    while read -r key value; do record "quorlin1000_$key $value"; done <"$WORK/out"
done

# --- 4. The resident checker ------------------------------------------------
# A virtual X screen of its own with a window manager (openbox) and a real
# XEmbed tray host (trayer) along the top, as the desktop tests have it; the
# window manager and the tray host get a home of their own, so that their
# settings are their defaults.
echo "== resident checker"
STARTS=${STARTS:-15}
RESIDENT_ROUNDS=${RESIDENT_ROUNDS:-3}
SETTLE=${SETTLE:-5}
IDLE=${IDLE:-300}
mkdir -p "$WORK/desktop"
start_virtual_screen "$WORK"
DESKTOP+=("$XVFB_PID")
HOME=$WORK/desktop openbox >"$WORK/openbox.log" 2>&1 &
DESKTOP+=($!)
HOME=$WORK/desktop trayer --edge top --align right --widthtype percent --width 100 --height 28 \
    --SetDockType true --transparent false >"$WORK/trayer.log" 2>&1 &
DESKTOP+=($!)
# (grep reads the whole tree: with -q, xwininfo could end on a broken pipe.)
tray_up() { xwininfo -root -tree | grep '("panel" "trayer")' >/dev/null; }
for _ in $(seq 100); do
    tray_up && break
    sleep 0.1
done
tray_up || {
    echo "the tray host did not come up" >&2
    exit 1
}
desktop_up() {
    local pid
    for pid in "${DESKTOP[@]}"; do
        kill -0 "$pid" 2>/dev/null || {
            echo "the virtual desktop has gone (process $pid)" >&2
            exit 1
        }
    done
}

# The contenders of the start-up rounds: the floor, the checker, and the floor
# with the checker's pieces added one at a time (bench_traypieces).
PAGE=$BASE/big/page1.html
declare -A CONTENDER=(
    [floor]="$BIN/bench_trayfloor"
    [linked]="$BIN/bench_traypieces"
    [icon]="$BIN/bench_traypieces icon"
    [splash]="$BIN/bench_traypieces icon splash"
    [download]="$BIN/bench_traypieces icon splash download $PAGE"
    [checker]="$BIN/Quorlin"
)
declare -A TITLE=([checker]=Quorlin)
ORDER=(floor checker linked icon splash download)

# Sums a field over every thread of a process: the CPU time in ns from
# schedstat, or the context switches (the times a thread went to sleep or was
# put aside) from status.
threads_cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{s += $1} END {print s}'; }
threads_switches() {
    cat /proc/"$1"/task/*/status | awk '/ctxt_switches:/ {s += $2} END {print s}'
}
# User plus system CPU time in clock ticks, as /proc/<pid>/stat has it.
stat_ticks() { sed 's/^.*) //' /proc/"$1"/stat | awk '{print $12 + $13}'; }
memory() {
    local name=$1 pid=$2
    record "${name}_pss_kb $(awk '/^Pss:/ {print $2}' /proc/"$pid"/smaps_rollup)"
    record "${name}_rss_kb $(awk '/^Rss:/ {print $2}' /proc/"$pid"/smaps_rollup)"
    record "${name}_uss_kb $(awk '/^Private_(Clean|Dirty):/ {s += $2} END {print s}' \
        /proc/"$pid"/smaps_rollup)"
}

# Starts a contender through bench_startup, which times it from just before
# its start to listening and to its icon embedded in the tray; records those
# times. Leaves its process id in $STARTED and bench_startup's in $WATCHER.
STARTED=
WATCHER=
start() {
    local name=$1 key=$2 out=$WORK/startup.$1
    # shellcheck disable=SC2086 # the contender's words
    QT_QPA_PLATFORM=xcb "$BIN/bench_startup" "${TITLE[$name]:-floor}" ${CONTENDER[$name]} >"$out" &
    WATCHER=$!
    PROGRAMS+=("$WATCHER")
    # bench_startup does the timing; looking for its result only later keeps
    # this script off the processor while the contender starts.
    sleep 0.5
    until grep -q '^ready' "$out"; do
        kill -0 "$WATCHER" 2>/dev/null || {
            echo "$name did not come up" >&2
            exit 1
        }
        sleep 0.2
    done
    STARTED=$(awk '/^pid/ {print $2}' "$out")
    PROGRAMS+=("$STARTED")
    local listen icon
    listen=$(awk '/^listen_ms/ {print $2}' "$out")
    icon=$(awk '/^icon_ms/ {print $2}' "$out")
    record "${key}_listen_ms $listen"
    record "${key}_icon_ms $icon"
    record "${key}_ready_ms $(python3 -c "print(max($listen, $icon))")"
}
stop() {
    kill "$STARTED" 2>/dev/null || true
    wait "$WATCHER" 2>/dev/null || true
    PROGRAMS=()
}

# The checker's store: one action, whose page (100 KB, holding its check
# string) nginx serves; always-connected mode, so that its first run comes at
# its first tick, a minute after the start. Made afresh for every start, as
# the once-a-day limit would hold back a second run.
fresh_store() { "$BIN/bench_checkrun" list "$BASE/big" 1 always; }

echo "-- start-up ($STARTS starts of each)"
for round in $(seq "$STARTS"); do
    desktop_up
    # Each round starts from another place in the order.
    shift_by=$(((round - 1) % ${#ORDER[@]}))
    rotated=("${ORDER[@]:shift_by}" "${ORDER[@]:0:shift_by}")
    echo "start $round: ${rotated[*]}"
    for name in "${rotated[@]}"; do
        fresh_store
        start "$name" "start_$name"
        # Past the splash's three seconds (and, for "download", its page).
        sleep "$SETTLE"
        memory "start_$name" "$STARTED"
        stop
    done
done

# The checker alone until its first run is over; then the floor beside it,
# the memory of both, and the CPU time and the wake-ups of both over the same
# idle minutes, in which each has its one 60 s timer ticking.
echo "-- after a run and idle ($RESIDENT_ROUNDS rounds of about $((IDLE / 60 + 2)) minutes)"
for round in $(seq "$RESIDENT_ROUNDS"); do
    desktop_up
    echo "resident $round"
    fresh_store
    start checker "resident_checker"
    checker=$STARTED
    checker_watcher=$WATCHER
    waited=0
    until grep -q '^CheckDate=' "$XDG_CONFIG_HOME/QL/QL.ini"; do
        sleep 0.5
        waited=$((waited + 1))
        if ((waited > 240)); then
            echo "the checker's first run did not end within two minutes" >&2
            exit 1
        fi
    done
    sleep "$SETTLE"

    start floor "resident_floor"
    floor=$STARTED
    PROGRAMS+=("$checker" "$checker_watcher")
    sleep "$SETTLE"
    # Both read at the same moment: PSS splits each shared page among the
    # processes that map it, so the checker read alone would count all of
    # Qt's pages as its own, and one read beside other Qt programs a part.
    memory run_checker "$checker"
    memory run_floor "$floor"
    declare -A cpu0 switches0 ticks0
    for pid in "$checker" "$floor"; do
        cpu0[$pid]=$(threads_cpu_ns "$pid")
        switches0[$pid]=$(threads_switches "$pid")
        ticks0[$pid]=$(stat_ticks "$pid")
    done
    sleep "$IDLE"
    desktop_up
    for pair in "checker:$checker" "floor:$floor"; do
        name=${pair%%:*}
        pid=${pair#*:}
        record "idle_${name}_cpu_us $((($(threads_cpu_ns "$pid") - cpu0[$pid]) / 1000))"
        record "idle_${name}_wakeups $(($(threads_switches "$pid") - switches0[$pid]))"
        record "idle_${name}_cpu_ms $((($(stat_ticks "$pid") - ticks0[$pid]) * 1000 / $(getconf CLK_TCK)))"
    done
    kill "$checker" "$floor" 2>/dev/null || true
    wait "$checker_watcher" "$WATCHER" 2>/dev/null || true
    PROGRAMS=()
done
# --- 5. One save of the store ---------------------------------------------
# One write of a date into a store of 20 and of 5,000 actions, beside reading
# the file and writing the same bytes into a synced copy renamed over it, in
# turns ($ROUNDS times each, after one round not counted); in a folder of its own.
echo "== store saves ($ROUNDS rounds)"
for actions in 20 5000; do
    "$BIN/bench_storesave" "$WORK/store$actions" "$actions" "$((ROUNDS + 1))" >"$WORK/storesave"
    # The first round warms the page cache and the allocator: it is left out.
    awk '$1 ~ "_file_bytes$" || seen[$1]++ {print}' \
        "$WORK/storesave" | while read -r key value; do record "$key $value"; done
done

record "idle_seconds $IDLE"
record "settle_seconds $SETTLE"
record "starts $STARTS"
record "resident_rounds $RESIDENT_ROUNDS"
record "rounds $ROUNDS"

# QUORLIN_BENCH_KEEP names a folder that keeps the measurements for report.py.
if [ -n "${QUORLIN_BENCH_KEEP:-}" ]; then
    mkdir -p "$QUORLIN_BENCH_KEEP"
    cp "$WORK/machine" "$WORK/pagecheck.json" "$RESULTS" "$QUORLIN_BENCH_KEEP/"
fi
python3 bench/report.py "$WORK/machine" "$WORK/pagecheck.json" "$RESULTS" >"$OUT"
echo "wrote $OUT"
