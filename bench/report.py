"""Writes docs/performance.md from the figures bench/run.sh collected.

Arguments: the machine description, bench_pagecheck's JSON output, and the
results file ("name value" lines, one per measurement and round).
"""

import json
import statistics
import sys
import textwrap
from collections import defaultdict

# Figures measured once, side by side, on this machine, with code that is no
# longer in the product (so run.sh cannot measure it again). The commands are
# given where the figures are shown.
ONCE = {
    "date": "2026-12-07",
    # bench_checkrun run over the 200 pages of part 2 from nginx, medians of
    # 15 runs in turns: the download on one kept worker thread (commit
    # 1473424's platform/PageDownload.*) and on the waiting thread's event
    # loop, both with the rest of the code as it is now; curl for reference.
    "worker_thread_ms": 60.0,
    "socket_interface_ms": 46.9,
    "curl_ms": 22.6,
    # The same run with the status window as it was (commit 6770cd2's
    # checker/StatusWindow.*: every page's text laid out in the hidden
    # window) and as it is.
    "status_before_ms": 268.3,
    "status_after_ms": 46.9,
    # The checker as it was before this part's changes (commit 6770cd2) and
    # as it is, started in turns beside the floor as in part 4: medians of 12
    # starts each, and of 2 first runs each.
    "before_startup_ratio": 1.5,
    "before_pss_ratio": 1.46,
    "before_run_pss_ratio": 1.54,
    "after_startup_ratio": 1.34,
    "after_pss_ratio": 1.38,
    "after_run_pss_ratio": 1.46,
    # bench_checkrun run and bench_pagecheck as they were before the pages'
    # memory was kept from page to page (commit d48f34b) and after it, in
    # turns with curl's transfers: medians of 7 rounds, then 2 x 9 repetitions.
    "kept_date": "2026-12-07",
    "kept_curl200_ms": 24.1,
    "kept_before200_ms": 55.0,
    "kept_after200_ms": 55.8,
    "kept_curl1000_ms": 65.8,
    "kept_before1000_ms": 133.5,
    "kept_after1000_ms": 134.5,
    # The UTF-8 decoding of bench_pagecheck's 10 MB pages by Qt's decoder and
    # by the page download's own, in turns in one process (best of 30 each),
    # and PageDownload::decodeInto of a 1.8 KB page from part 3 before and
    # after its <meta> charset was looked for without a lower-case copy of
    # the head (mean of 100,000).
    "decode_date": "2026-12-07",
    "decode_qt_realistic_ms": 2.25,
    "decode_own_realistic_ms": 1.42,
    "decode_qt_markup_ms": 0.87,
    "decode_own_markup_ms": 0.79,
    "decode_tiny_before_us": 3.34,
    "decode_tiny_after_us": 0.30,
    # One getrusage call on this machine (mean of 100,000).
    "getrusage_us": 1.2,
    "kept_before_pagetext_ms": 1.63,
    "kept_after_pagetext_ms": 1.30,
}


def load_results(path):
    values = defaultdict(list)
    with open(path, encoding="utf-8") as results:
        for line in results:
            name, value = line.split()
            values[name].append(float(value))
    return values


def load_pagecheck(path):
    with open(path, encoding="utf-8") as report:
        data = json.load(report)
    medians = {}
    for entry in data["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry
    return medians


def ms(value):
    return f"{value:.1f} ms" if value >= 10 else f"{value:.2f} ms"


def mb(kb):
    return f"{kb / 1024:.1f} MB"


def verdict(met):
    return "met" if met else "**missed**"


def run_parts(add, median):
    """The run's parts, over both page sets: where the time of a run goes."""
    sets = (("quorlin200", "curl200", "200 × 100 KB"), ("quorlin1000", "curl1000", "1000 tiny"))
    add("### Where a run's time goes")
    add("")
    add("The runs of parts 2 and 3 taken apart (`bench_checkrun run`, in the same process as")
    add("the run). The downloads, each with its decoding, and the status window's writes are")
    add("timed inside the run, around the checker's own page download and status window. Right")
    add("after the run, the same process times on their own: the store's reads and writes (as")
    add("above), and the decoding and the page text and search over the same pages, read from")
    add("the folder nginx serves them from, in the run's order and in memory kept from page to")
    add("page as the run keeps it. The download with its event loop is the downloads' time less")
    add("that decoding; the rest is what the run does besides (its own steps, the labels' texts).")
    add("Page faults are those the process took while the part ran (`getrusage`), per page.")
    add("The parts timed inside the run are timed by the clock alone: counting faults takes two")
    add("system calls, which the run would carry once a page. The whole run's are counted around")
    add("it, and again from the end of its second page: the run keeps the memory of its first two")
    add("pages (in turn, as the status window holds the last page text) for the rest.")
    add("")
    add("| part | " + " | ".join(f"{title}: time | faults per page" for _, _, title in sets) + " |")
    add("| --- |" + " --- | --- |" * len(sets))
    rows = (
        ("**the whole run**", "run"),
        ("the run after its first two pages", "steady"),
        ("download and event loop", "download"),
        ("decoding", "decode"),
        ("page text and search", "pagetext"),
        ("status window", "status"),
        ("store reads", "store_reads"),
        ("store writes", "store_writes"),
        ("the rest", "other"),
    )
    for label, key in rows:
        cells = []
        for name, _, _ in sets:
            cells.append(ms(median(f"{name}_{key}_ms")) if key != "steady" else "")
            faults = f"{name}_{key}_faults_per_page"
            cells.append(f"{median(faults):.2f}"
                         if key in ("run", "steady", "decode", "pagetext") else "")
        add(f"| {label} | " + " | ".join(cells) + " |")
    add("")
    for name, curl, title in sets:
        ratio = median(f"{name}_run_ms") / median(f"{curl}_transfers_ms")
        add(f"{title}: the run is {ratio:.2f} times curl's transfers (aim ≤ 1.5: "
            f"{verdict(ratio <= 1.5)}).")


def store_saves(add, values):
    """Section 5: one save of the store beside its floor."""
    def median(name):
        return statistics.median(values[name])

    add("## 5. One save of the store")
    add("")
    add("One write of a date into the store, with 20 and with 5,000 actions, as a program makes")
    add("it: under the writers' lock it reads the file, changes its sections and keys, writes the")
    add("whole new text into a private copy beside the file, syncs it (`fdatasync`), renames it")
    add("over the file and syncs the folder. Beside it the floor: reading the file, then writing")
    add("the same bytes into a copy with `write`, `fdatasync`, `rename` and the folder's `fsync`.")
    add("\"Save\" is a program's first save, which reads the file; \"after a read\" is the save of a")
    add("program that has just read the file (the editor, which shows the list first), and")
    add("reads nothing more. Bytes are the process's read and written bytes (`/proc/self/io`).")
    add("(`bench_storesave`, in turns, medians.)")
    add("")
    add("| actions (file) | figure | time | ÷ floor | read | written | written ÷ file |")
    add("| --- | --- | --- | --- | --- | --- | --- |")
    aims = []
    for actions in (20, 5000):
        key = f"store{actions}"
        size = median(f"{key}_file_bytes")
        floor = median(f"{key}_floor_ms")
        for part, label in (("floor", "floor"), ("save", "save"), ("warm", "save after a read")):
            time = median(f"{key}_{part}_ms")
            written = median(f"{key}_{part}_written_bytes")
            add(f"| {actions} ({size / 1024:.1f} KB) | {label} | {ms(time)} | {time / floor:.2f} | "
                f"{median(f'{key}_{part}_read_bytes') / 1024:.1f} KB | {written / 1024:.1f} KB | "
                f"{written / size:.2f} |")
            if part == "save":
                aims.append((actions, time / floor, written / size))
    add("")
    if values.get("quorlin1000_run_ms"):
        run = median("quorlin1000_run_ms")
        store = median("quorlin1000_store_reads_ms") + median("quorlin1000_store_writes_ms")
        add(f"In part 3's run over 1000 actions the store's reads and its two writes together take "
            f"{100 * store / run:.1f} % of the run: at most 5 %, {verdict(store / run <= 0.05)}.")
        add("")
    for actions, ratio, written in aims:
        add(f"Aims with {actions} actions: at most 2 × the floor's time, "
            f"{verdict(ratio <= 2)} ({ratio:.2f}); at most 1.1 × the file's size written, "
            f"{verdict(written <= 1.1)} ({written:.2f}).")
        add("")


def main():
    machine_path, pagecheck_path, results_path = sys.argv[1:4]
    with open(machine_path, encoding="utf-8") as machine_file:
        machine = dict(line.rstrip("\n").split(" ", 1) for line in machine_file if " " in line)
    pages = load_pagecheck(pagecheck_path)
    values = load_results(results_path)

    def median(name):
        return statistics.median(values[name])

    def spread(name):
        return f"{ms(min(values[name]))} – {ms(max(values[name]))}"

    rounds = int(median("rounds"))
    out = []
    add = out.append
    add("# Performance")
    add("")
    add("What the checker costs beside what a page's download costs anyway, and beside the tool")
    add("one would use instead. Every comparison below was measured side by side in one run of")
    add("`bench/run.sh` on the machine described at the end, and is given as a ratio: the")
    add("machine is shared and its absolute figures wander from one minute to the next.")
    add(f"Figures are medians of {rounds} rounds unless a row says otherwise.")
    add("")

    # 1. Page text.
    add("## 1. Page text and check-string search")
    add("")
    add("A 10 MB page (10,000,000 bytes of UTF-8), already downloaded: the page text (markup")
    add('stripped, "ERROR 404" looked for in the same pass) and the search for the check string,')
    add("beside one `memchr` pass for a byte the page does not hold, the least any pass over the")
    add("page can cost. The page text works on the page as text (UTF-16, twice the bytes), so the")
    add("floor is given over those bytes and over the downloaded bytes. Rates are in bytes of the")
    add("downloaded page per second; times are CPU time per page")
    add("(`bench_pagecheck`, Google Benchmark, median of its repetitions).")
    add("")
    add("| page | pass | time | rate | page text + search ÷ this |")
    add("| --- | --- | --- | --- | --- |")
    ratios = {}
    for kind, title in (("realistic", "realistic HTML"), ("markup", "nearly all markup")):
        work = pages[f"pageText+search/{kind}"]["cpu_time"]
        rows = (
            ("memchr/body", "`memchr` over the downloaded bytes (10 MB)"),
            ("memchr/text", "`memchr` over the page as text (20 MB)"),
            ("pageText+search", "**page text + check-string search**"),
            ("decode", "decoding the bytes to text (for reference)"),
            ("wholePath", "decode + page text + search (for reference)"),
        )
        for name, label in rows:
            entry = pages[f"{name}/{kind}"]
            ratio = work / entry["cpu_time"]
            ratios[(kind, name)] = ratio
            shown = f"{ratio:.2f}" if name.startswith("memchr") else ""
            add(
                f"| {title} | {label} | {ms(entry['cpu_time'])} | "
                f"{entry['bytes_per_second'] / 1e6:,.0f} MB/s | {shown} |"
            )
    add("")
    add("Aim: the page text and search take at most the time of 4 `memchr` passes over the bytes")
    add("they read (the page as text):")
    for kind, title in (("realistic", "realistic page"), ("markup", "all-markup page")):
        text_ratio = ratios[(kind, "memchr/text")]
        body_ratio = ratios[(kind, "memchr/body")]
        add(
            f"{title}: {text_ratio:.2f} passes over the text ({verdict(text_ratio <= 4)}); "
            f"{body_ratio:.2f} passes over the downloaded bytes."
        )
    add("")

    # 2. Whole run.
    curl = median("curl200_transfers_ms")
    curl_process = median("curl200_wall_ms")
    urlwatch = median("urlwatch200_wall_ms")
    run = median("quorlin200_run_ms")
    process = median("quorlin200_wall_ms")
    peak = median("quorlin200_peak_kb")
    urlwatch_peak = median("urlwatch200_peak_kb")
    add("## 2. A whole check run: 200 pages of 100 KB from nginx on 127.0.0.1")
    add("")
    add("Each page holds its check string, so the run asks nothing. The same 200 addresses, in")
    add("the same run of the script:")
    add("")
    add("- **curl**: the `curl` command fetching the 200 addresses one after another in one")
    add("  process (`curl -s -w '%{time_total}\\n' -K list`, each page to /dev/null): the floor of a")
    add("  sequential fetcher. Its transfers are timed as the Quorlin run is, from request to last")
    add("  byte: the sum of curl's own `time_total` of each page. Its whole process, from before")
    add("  its start to after its exit, is given too.")
    add("- **urlwatch**: Debian's urlwatch doing one pass over the 200 addresses (10 threads),")
    add("  with its own configuration and a cache filled by a first pass, so no page has changed.")
    add("  Its time runs from before its start to after its exit.")
    add("- **Quorlin**: `bench/bench_checkrun`, which links the checker's own code: a real store")
    add("  file under a private `XDG_CONFIG_HOME` with the 200 actions, `CheckRun::request()`")
    add("  with the real `PageDownload` (libcurl driven by the local event loop the caller waits")
    add("  in), the real page text and search, the checker's own status window (hidden, as it is")
    add("  while nobody looks at it) and the dates written to the store. Only the browser and")
    add("  the route check are stood in for (no-op, always connected); the program runs on Qt's")
    add('  offscreen platform. The run is timed from `request()` to its return, just after "CheckDate"')
    add("  is written; the process (Qt start-up, the list written, the run) is given too.")
    add("  Peak memory is the whole process's.")
    add("")
    add("| contender | wall time (median) | range | peak memory (max RSS) |")
    add("| --- | --- | --- | --- |")
    add(f"| curl, 200 pages, its transfers (sum of `time_total`) | {ms(curl)} | "
        f"{spread('curl200_transfers_ms')} | {mb(median('curl200_peak_kb'))} (whole process) |")
    add(f"| curl process, start to exit | {ms(curl_process)} | {spread('curl200_wall_ms')} | |")
    add(f"| urlwatch, one pass | {ms(urlwatch)} | {spread('urlwatch200_wall_ms')} | "
        f"{mb(urlwatch_peak)} |")
    add(f"| **Quorlin run**, start to CheckDate written | **{ms(run)}** | "
        f"{spread('quorlin200_run_ms')} | {mb(peak)} (whole process) |")
    add(f"| Quorlin bench process, start to exit | {ms(process)} | "
        f"{spread('quorlin200_wall_ms')} | |")
    add("")
    add("| ratio | value | aim | |")
    add("| --- | --- | --- | --- |")
    add(f"| Quorlin run ÷ curl's transfers | {run / curl:.2f} | ≤ 1.5 | "
        f"{verdict(run / curl <= 1.5)} |")
    add(f"| Quorlin bench process ÷ curl process | {process / curl_process:.2f} | | |")
    add(f"| urlwatch ÷ Quorlin run | {urlwatch / run:.1f} | ≥ 5 | {verdict(urlwatch / run >= 5)} |")
    add(f"| urlwatch peak ÷ Quorlin peak | {urlwatch_peak / peak:.2f} | > 1 | "
        f"{verdict(urlwatch_peak > peak)} |")
    add("")

    # 3. Store share.
    run1000 = median("quorlin1000_run_ms")
    reads = median("quorlin1000_store_reads_ms")
    writes = median("quorlin1000_store_writes_ms")
    add("## 3. The store's share: 1000 actions with tiny pages")
    add("")
    add("The same run over 1000 actions whose pages are about 1.5 KB. Before each download the")
    add("run reads the action's description, URL and check string from the store (3001 reads in")
    add("all, from 1001 looks at whether the file changed: one per download, each finding the")
    add("file by its path anew, and the file parsed again only when it did). The")
    add("store is not virtual, so its reads are not timed inside the run: right after the run,")
    add("the same process replays exactly the run's reads, in the run's order, on the same file")
    add("(whose first read parses it again, as the run's first read does after the run's first")
    add('write), and times them alone. The run\'s two writes ("TDate" before the list,')
    add('"CheckDate" after it; each rewrites the whole file and syncs it) are timed the same way.')
    add("")
    add("| figure | median | share of the run |")
    add("| --- | --- | --- |")
    add(f"| Quorlin run, 1000 tiny pages | {ms(run1000)} | |")
    add(f"| its 3001 store reads alone | {ms(reads)} | **{100 * reads / run1000:.1f} %** |")
    add(f"| its 2 store writes alone | {ms(writes)} | {100 * writes / run1000:.1f} % |")
    add(f"| curl, the same 1000 pages, its transfers (reference) | "
        f"{ms(median('curl1000_transfers_ms'))} | |")
    add(f"| curl process, the same 1000 pages (reference) | {ms(median('curl1000_wall_ms'))} | |")
    add("")
    add(f"Aim: the store reads at most 10 % of the run: {verdict(reads / run1000 <= 0.10)}.")
    add("")
    run_parts(add, median)

    # 4. Resident checker.
    idle = int(median("idle_seconds"))
    settle = int(median("settle_seconds"))
    starts = int(median("starts"))
    resident_rounds = int(median("resident_rounds"))
    ticks = idle // 60
    add("## 4. The resident checker")
    add("")
    add("The real `Quorlin` program and, beside it, the least Qt tray program")
    add("(`bench/bench_trayfloor`: a hidden window, a tray icon with a four-entry menu, one 60 s")
    add("timer, a local server listening), on a virtual X screen of the script's own (Xvfb) with a")
    add("window manager (openbox) and a real XEmbed tray host along the top (trayer), as the")
    add("desktop tests have it. The checker's store holds one action whose page (100 KB, holding")
    add("its check string) nginx serves, in always-connected mode: its first run comes with its")
    add("first tick, a minute after the start.")
    add("")
    add("- **Start-up** runs from just before the program is started to the moment it is both")
    add("  listening (its channel entry `Quorlin.<pid>`, for the floor `floor.<pid>`, appears in")
    add("  `$XDG_RUNTIME_DIR/QL/`) and has its icon installed (a window of the program, by its")
    add("  `_NET_WM_PID`, has been reparented into trayer's panel and is viewable there).")
    add("  `bench/bench_startup` starts the program and watches both from before the start, with")
    add("  inotify and X events: nothing is polled.")
    add(f"- **Memory** is read from `/proc/<pid>/smaps_rollup` {settle} s after start-up (the")
    add("  splash has gone by then), and for the checker again")
    add(f"  {settle} s after its first run has written \"CheckDate\". Each program is alone on the")
    add("  machine's Qt libraries when it is read, as PSS shares a library's pages out among the")
    add("  processes that map it.")
    add(f"- **Idle CPU time** is what each used over {idle // 60} minutes after the checker's first")
    add("  run, both running side by side: user plus system time from `/proc/<pid>/stat`, its")
    add("  threads' own clocks (`schedstat`, in microseconds) and the times its threads woke")
    add(f"  (context switches). Each has one 60 s timer, which ticks {ticks} times in that time.")
    add("")
    add(f"Start-up and memory after start-up: medians of {starts} starts of each, in turns. After a")
    add(f"run and idle: medians of {resident_rounds} rounds.")
    add("")

    def ratio(checker_value, floor_value):
        return checker_value / floor_value if floor_value else float("nan")

    floor_ready = median("start_floor_ready_ms")
    checker_ready = median("start_checker_ready_ms")
    floor_pss = median("start_floor_pss_kb")
    floor_rss = median("start_floor_rss_kb")
    floor_uss = median("start_floor_uss_kb")
    startup_ratio = ratio(checker_ready, floor_ready)
    pss_ratio = ratio(median("start_checker_pss_kb"), floor_pss)
    run_floor_pss = median("run_floor_pss_kb")
    run_pss_ratio = ratio(median("run_checker_pss_kb"), run_floor_pss)
    checker_cpu_ms = median("idle_checker_cpu_ms")
    add("| figure | floor | Quorlin | Quorlin ÷ floor | aim | |")
    add("| --- | --- | --- | --- | --- | --- |")
    add(f"| **start-up**, to listening with its icon in the tray | {ms(floor_ready)} | "
        f"{ms(checker_ready)} | **{startup_ratio:.2f}** | ≤ 1.5 | {verdict(startup_ratio <= 1.5)} |")
    add(f"| range of the start-up | {spread('start_floor_ready_ms')} | "
        f"{spread('start_checker_ready_ms')} | | | |")
    add(f"| to listening | {ms(median('start_floor_listen_ms'))} | "
        f"{ms(median('start_checker_listen_ms'))} | | | |")
    add(f"| to its icon in the tray | {ms(median('start_floor_icon_ms'))} | "
        f"{ms(median('start_checker_icon_ms'))} | | | |")
    add(f"| **PSS after start-up** | {mb(floor_pss)} | {mb(median('start_checker_pss_kb'))} | "
        f"**{pss_ratio:.2f}** | ≤ 1.15 | {verdict(pss_ratio <= 1.15)} |")
    add(f"| **PSS after its first run** (floor: read beside it) | {mb(run_floor_pss)} | "
        f"{mb(median('run_checker_pss_kb'))} | **{run_pss_ratio:.2f}** | ≤ 1.15 | "
        f"{verdict(run_pss_ratio <= 1.15)} |")
    add(f"| RSS after start-up | {mb(floor_rss)} | {mb(median('start_checker_rss_kb'))} | "
        f"{ratio(median('start_checker_rss_kb'), floor_rss):.2f} | | |")
    add(f"| RSS after its first run | {mb(floor_rss)} | {mb(median('run_checker_rss_kb'))} | "
        f"{ratio(median('run_checker_rss_kb'), floor_rss):.2f} | | |")
    add(f"| private memory (USS) after start-up | {mb(floor_uss)} | "
        f"{mb(median('start_checker_uss_kb'))} | "
        f"{ratio(median('start_checker_uss_kb'), floor_uss):.2f} | | |")
    add(f"| private memory (USS) after its first run | {mb(floor_uss)} | "
        f"{mb(median('run_checker_uss_kb'))} | "
        f"{ratio(median('run_checker_uss_kb'), floor_uss):.2f} | | |")
    add(f"| **CPU time over {idle // 60} idle minutes** (user + system) | "
        f"{median('idle_floor_cpu_ms'):.0f} ms | {checker_cpu_ms:.0f} ms | | none between ticks | "
        f"{verdict(checker_cpu_ms == 0)} |")
    add(f"| the same by its threads' own clocks | {median('idle_floor_cpu_us'):,.0f} µs | "
        f"{median('idle_checker_cpu_us'):,.0f} µs | | | |")
    add(f"| times its threads woke in those minutes ({ticks} timer ticks) | "
        f"{median('idle_floor_wakeups'):.0f} | {median('idle_checker_wakeups'):.0f} | | | |")
    add("")

    # What each piece of the checker adds to the floor.
    add("### What each piece of the checker costs")
    add("")
    add("The same starts, in the same turns, of the floor with the checker's own pieces added one")
    add("at a time (`bench/bench_traypieces`, built from the floor's own code and the checker's")
    add("libraries). Each row is beside the row named in its last column.")
    add("")
    add("| program | start-up | PSS | RSS | start-up added | PSS added | RSS added | beside |")
    add("| --- | --- | --- | --- | --- | --- | --- | --- |")
    rows = (
        ("floor", "the floor (`bench_trayfloor`)", None),
        ("linked", "the floor linked with the checker's libraries: libcurl and the nineteen "
         "libraries it brings are loaded (`bench_traypieces`)", "floor"),
        ("icon", "… and the program's icon, read from its PNG (`bench_traypieces icon`)",
         "linked"),
        ("splash", "… and the splash window shown for 3 s: its banner and its Times New Roman "
         "texts, painted (`bench_traypieces icon splash`)", "icon"),
        ("checker", "**the checker** after start-up", "splash"),
        ("download", "the floor with those pieces, and one page downloaded: curl and its TLS "
         "library set up (`bench_traypieces icon splash download URL`)", "splash"),
    )
    for key, label, base in rows:
        ready = median(f"start_{key}_ready_ms")
        pss = median(f"start_{key}_pss_kb")
        rss = median(f"start_{key}_rss_kb")
        if base is None:
            add(f"| {label} | {ms(ready)} | {mb(pss)} | {mb(rss)} | | | | |")
            continue
        add(f"| {label} | {ms(ready)} | {mb(pss)} | {mb(rss)} | "
            f"{ready - median(f'start_{base}_ready_ms'):+.1f} ms | "
            f"{(pss - median(f'start_{base}_pss_kb')) / 1024:+.1f} MB | "
            f"{(rss - median(f'start_{base}_rss_kb')) / 1024:+.1f} MB | {base} |")
    run_pss = median("run_checker_pss_kb")
    run_rss = median("run_checker_rss_kb")
    add(f"| **the checker** after its first run | | {mb(run_pss)} | {mb(run_rss)} | | "
        f"{(run_pss - median('start_download_pss_kb')) / 1024:+.1f} MB | "
        f"{(run_rss - median('start_download_rss_kb')) / 1024:+.1f} MB | download |")
    add("")

    def share(key, base):
        return (median(f"start_{key}_pss_kb") - median(f"start_{base}_pss_kb")) / floor_pss

    def added_ms(key, base):
        return median(f"start_{key}_ready_ms") - median(f"start_{base}_ready_ms")

    def para(text, indent=""):
        for line in textwrap.wrap(text, width=90, initial_indent=indent,
                                  subsequent_indent=" " * len(indent)):
            add(line)

    para("What the checker is required to do, and what it costs beside the floor (PSS in parts "
         "of the floor's):")
    add("")
    para(f"**Its splash window**, shown at start-up with its banner and its Times New Roman "
         f"texts: {100 * share('splash', 'icon'):.0f} %: the font configuration, the font "
         "files, the text shaping and rasterising libraries and their caches, the painting code "
         "and the window's backing store. The floor paints no text at all. It adds little to "
         "the start-up figure: the splash is painted once the checker listens with its icon "
         "installed.", "- ")
    para(f"**Its download component**, libcurl (the platform's HTTP component, as designed): "
         f"{100 * share('linked', 'floor'):.0f} % of the floor's memory and "
         f"{added_ms('linked', 'floor'):.1f} ms of start-up from the start, for libcurl and the "
         "nineteen libraries it brings (TLS, SSH, LDAP, IDN, ...), loaded with the program; and "
         f"another {100 * share('download', 'splash'):.0f} % once the first page has been "
         "downloaded, a minute after the start, for what curl and OpenSSL set up then.", "- ")
    para(f"**Its icon**, read from its PNG: {100 * share('icon', 'linked'):.0f} %.", "- ")
    para(f"**The rest** (the store read at start-up, the About and status windows loaded in "
         f"name, the schedules and the run's state): {100 * share('checker', 'splash'):.0f} %; "
         "and after the first run, what the run leaves beyond one download (the page text kept "
         "for the status window, the dates written): "
         f"{100 * (run_pss - median('start_download_pss_kb')) / floor_pss:.0f} %.", "- ")
    add("")
    per_tick = max(ticks, 1)
    checker_wakes = median("idle_checker_wakeups") / per_tick
    floor_wakes = median("idle_floor_wakeups") / per_tick
    if checker_cpu_ms == 0:
        idle_sentence = (f"Between its timer ticks the checker uses no CPU: over the idle "
                         f"minutes its user and system time did not grow by a clock tick, its "
                         f"threads ran {median('idle_checker_cpu_us'):,.0f} µs in all, and they "
                         f"woke {checker_wakes:.1f} times a timer tick (the floor's "
                         f"{floor_wakes:.1f}).")
    else:
        idle_sentence = (f"Over the idle minutes the checker used {checker_cpu_ms:.0f} ms of CPU "
                         f"time, and its threads woke {checker_wakes:.1f} times a timer tick "
                         f"(the floor's {floor_wakes:.1f}).")
    splash_share = share("splash", "icon")
    download_share = share("download", "splash") + share("linked", "floor")
    para(f"Aims: the start-up is {'within' if startup_ratio <= 1.5 else 'beyond'} 1.5 × the "
         f"floor's. PSS is {'within' if pss_ratio <= 1.15 else 'beyond'} 1.15 × the floor's "
         f"after start-up, and {'within' if run_pss_ratio <= 1.15 else 'beyond'} it after the "
         f"first run. The splash with its fonts alone is {100 * splash_share:.0f} % of the "
         f"floor, and the download component {100 * download_share:.0f} % once it has "
         "downloaded: while the checker must show that splash and download with libcurl, it "
         "cannot come within 1.15 × a floor that does neither. "
         + idle_sentence)
    add("")

    store_saves(add, values)

    add("## How downloads are done")
    add("")
    add("A check run downloads one page at a time and waits for each, while the user-interface")
    add("thread must go on serving the timers and the tray menu (a run can wait for minutes). The")
    add("download runs through libcurl's socket interface (`curl_multi_socket_action`) on the")
    add("waiting thread's own local event loop: curl says which sockets to watch and when its next")
    add("timeout falls, Qt's socket notifiers and a timer call it back, and the local event loop")
    add("the caller waits in is what drives the transfer. Timers, menus and message boxes are")
    add("served by that same loop while a download waits (`tst_pagedownload` has a timer fire")
    add("and cancel a download under way; `tst_checkrunhttp` abandons a run in a real download).")
    add("")
    add("It used to be `curl_easy_perform` on a worker thread (first a thread per download, then")
    add("one kept thread), with the caller waiting in a local event loop for the thread's answer.")
    add("Each page then crossed from one thread to the other and back, and on this machine")
    add("(virtual, two cores) waking a thread that sleeps on the other core costs tens of")
    add("microseconds each way, more when the machine is otherwise idle. Measured once")
    add(f"({ONCE['date']}) on the 200 pages of part 2, both with the rest of the code as it is")
    add("now (`bench_checkrun run`, medians of 15 runs in turns, the machine otherwise quiet):")
    add("")
    add("| download | run of 200 pages | ÷ curl |")
    add("| --- | --- | --- |")
    for key, label in (
        ("worker_thread_ms", "`curl_easy_perform` on one kept worker thread (before)"),
        ("socket_interface_ms", "socket interface on the waiting thread's event loop (now)"),
        ("curl_ms", "`curl`, the same 200 pages, whole process, for reference"),
    ):
        add(f"| {label} | {ms(ONCE[key])} | {ONCE[key] / ONCE['curl_ms']:.2f} |")
    add("")
    add("## What the measurements led to")
    add("")
    add("- **Page download.** See above: no hand-over between threads for each page. One easy")
    add("  handle keeps its connection for the next page, and the page's buffer is kept for the")
    add("  next page (up to 256 KiB). Its options are set once, and again only for another proxy")
    add("  or certificate file; header lines are looked at in place; curl reads up to 128 KiB from")
    add("  the socket at a time (a 100 KB page in one read or two instead of seven, about a tenth")
    add("  off the 100 KB pages' download once the rest of the run had been cut). Looked at and")
    add("  left: taking a page that is there at once without a turn of the event loop (a few")
    add("  per cent on tiny pages, for more machinery around quitting than it is worth).")
    add("- **Page text.** Where the processor has 64-byte vectors that can compress (AVX-512")
    add("  VBMI2), the page text keeps the characters of 32 at a time with one instruction;")
    add("  elsewhere it uses the 16-byte version as before. This took the page text and search")
    add("  over the realistic page from about 5 to about 2.6 `memchr` passes.")
    add("- **The pages' memory.** A page is decoded into memory the run keeps from page to page")
    add("  (two pieces in turn, as the status window holds the last page text) and turned into its")
    add("  page text there; the run gives it back when it ends. Before, each page's text was new")
    add("  memory, which the allocator on this machine already took from memory freed by the page")
    add("  before: the page faults per page were near zero before and after, and the run's time")
    add(f"  did not move ({ONCE['kept_date']}, in turns: 200 pages {ONCE['kept_before200_ms']} ms "
        f"before, {ONCE['kept_after200_ms']} ms after, curl's transfers {ONCE['kept_curl200_ms']} ms;")
    add(f"  1000 pages {ONCE['kept_before1000_ms']} ms and {ONCE['kept_after1000_ms']} ms, curl's "
        f"{ONCE['kept_curl1000_ms']} ms). What it spares is the allocator's guesswork: a list of")
    add("  pages of varying sizes, or another allocation between two pages, no longer makes the")
    add("  kernel fill fresh pages for each page.")
    add("- **Page text, again.** \"ERROR 404\" is looked at only where a \"4\" stands two places")
    add("  before another (a \"4\" alone is common in text), and the check string is looked for")
    add("  64 positions at a time with 64-byte vectors: the realistic page's page text and search")
    add(f"  went from {ONCE['kept_before_pagetext_ms']} ms to {ONCE['kept_after_pagetext_ms']} ms "
        "(the former with the page's memory given back inside the timing).")
    add("- **Decoding.** A UTF-8 page (nearly every page) is decoded by the page download's own")
    add("  decoder: ASCII is widened 16 bytes at a time, and every other sequence is read exactly")
    add("  as Qt's decoder reads it (`fuzz_decode` compares the two on every input it makes). Other")
    add(f"  charsets still go through Qt. On the 10 MB pages ({ONCE['decode_date']}, in turns, best")
    add(f"  of 30): realistic {ONCE['decode_qt_realistic_ms']} ms with Qt's decoder, "
        f"{ONCE['decode_own_realistic_ms']} ms now; all markup {ONCE['decode_qt_markup_ms']} ms and "
        f"{ONCE['decode_own_markup_ms']} ms.")
    add("  A page's `<meta>` charset is looked for in its own bytes: the lower-case copy of its")
    add("  head that the search used to make cost a page of 1.8 KB ten times its decoding")
    add(f"  ({ONCE['decode_tiny_before_us']} µs a page before, {ONCE['decode_tiny_after_us']} µs "
        "after, decoding included).")
    add("- **The event loop.** A request starts as soon as its handle is added, instead of a turn")
    add("  of the loop later on curl's timeout of no time; on tiny pages the download with its")
    add("  event loop now takes about curl's own time.")
    add("- **The bench.** The downloads inside the run were timed with the page faults counted")
    add(f"  around each: two `getrusage` calls a page (about {ONCE['getrusage_us']} µs each here),")
    add("  which the run carried and curl's transfers did not, some 3 % of the tiny run. They are")
    add("  timed by the clock alone now, and the run's faults are counted around the whole run and")
    add("  after its first two pages.")
    add("- **Store.** Each save used to be made twice (once more, for comparison, through")
    add("  QSettings on a copy in the temporary folder) and to read and write the whole file")
    add("  several times. The store now parses and writes its file itself: one read, one write")
    add("  into a private copy beside the file, one `fdatasync`, one rename and the folder's sync")
    add("  (part 5). A section is kept as the file's own lines until a change or a search among")
    add("  many keys needs it parsed, and written back as it stands, so a save of 5,000 actions")
    add("  parses and spells anew only the section it changes. A read no longer looks the file")
    add("  up by name (a `stat`, about 1.6 µs here, most of it the system call): it asks the")
    add("  version read last, kept open, whether it is still in place (`fstat`), and the run")
    add("  asks once per download for its three reads.")
    add("- **The resident checker.** An earlier pass measured it offscreen only, where no tray")
    add("  host takes the icon and the floor starts in a fraction of its time on a desktop; it")
    add("  gave 2.47 × the floor's start-up and 1.65 × its PSS. Measured as above, on a virtual")
    add("  X screen with a tray host, the checker as it was then and as it is now, started in")
    add(f"  turns beside the floor ({ONCE['date']}):")
    add("")
    add("  | figure, ÷ the floor's | before | now |")
    add("  | --- | --- | --- |")
    for key, label in (
        ("startup_ratio", "start-up to listening with its icon in the tray"),
        ("pss_ratio", "PSS after start-up"),
        ("run_pss_ratio", "PSS after its first run"),
    ):
        add(f"  | {label} | {ONCE['before_' + key]:.2f} | {ONCE['after_' + key]:.2f} |")
    add("")
    add("  What changed, found with `/proc/<pid>/smaps` by mapping, `strace`, `perf`, Qt's")
    add("  plugin log and a timing of each start-up step:")
    add("  - Curl, and the TLS library it initialises with itself (OpenSSL's configuration,")
    add("    engines and tables: about 2.3 MB of resident memory and half a millisecond), are set")
    add("    up by the first download instead of at start-up.")
    add("  - The status window was loaded by the run's first write, and every page's text was then")
    add("    laid out in it although nobody saw it: about 1 ms a page for a page of 100 KB. While")
    add("    it is hidden its texts are now kept, and the window is made when it is shown, Load")
    add("    first and then the last text of each control: nobody can tell the difference. A run")
    add(f"    of the 200 pages of part 2 with the checker's status window took "
        f"{ms(ONCE['status_before_ms'])}; it takes {ms(ONCE['status_after_ms'])} (measured once,")
    add("    `bench_checkrun run`, which now has the checker's own status window in it). It also")
    add("    spares the window's widgets and its sans-serif fonts (about 1.2 MB) until it is shown.")
    add("  - The About window is loaded in name at start-up and made on first use, with the")
    add("    version recorded at start (about 0.25 MB and a quarter of a millisecond).")
    add("  - The icon and banner are read as the PNG files they are: left to guess, Qt's image")
    add("    reader first loaded every image-format plugin installed (GIF, ICO, JPEG with its")
    add("    library) to ask whether it wanted the file (about 0.25 MB and half a millisecond).")
    add("  - The charset a page declares in its head is found by a plain scan instead of a regular")
    add("    expression, which cost the first run the pattern library's pages and its compiler")
    add("    (about 0.8 MB in a process of its own).")
    add("")
    add("  Looked at and left as they are: loading libcurl itself only at the first download. Its")
    add("  loading is the largest part of the start-up the checker adds to the floor's (the")
    add("  `linked` row above; with libcurl loaded, Qt's every later symbol look-up, as it loads")
    add("  its platform plugin, also goes through its nineteen libraries). Done by hand (a table")
    add("  of libcurl's functions looked up at the first download, and the package naming")
    add("  libcurl itself), it took the start-up to about 1.25 × the floor's and 5 MB off the")
    add("  resident memory until the first checkpoint; it was taken back as more machinery than")
    add("  the start-up time it saves, the checker carrying libcurl from its first run on anyway.")
    add("  Also left: releasing the splash's backing store once it is hidden")
    add("  (0.2 MB, through a protected Qt call); setting")
    add("  the splash's fonts without a style sheet (no measurable difference). Qt's attempt to")
    add("  reach a D-Bus session bus for the tray icon (it starts `dbus-launch`, which is not")
    add("  there) is the floor's as much as the checker's.")
    add("")
    add("## Machine")
    add("")
    for key, label in (
        ("cpu", "CPU"),
        ("cores", "cores"),
        ("memory", "memory"),
        ("system", "system"),
        ("compiler", "compiler"),
        ("qt", "Qt"),
        ("libcurl", "libcurl"),
        ("nginx", "nginx"),
        ("curl", "curl"),
        ("urlwatch", "urlwatch"),
        ("date", "measured"),
    ):
        add(f"- {label}: {machine.get(key, '?')}")
    add("")
    add("## Reproducing")
    add("")
    add("```sh")
    add("bash bench/run.sh            # writes docs/performance.md; about half an hour")
    add("```")
    add("")
    add("It installs what is missing from Debian (nginx, urlwatch, curl, time, libbenchmark-dev,")
    add("python3, xvfb, openbox, trayer, x11-utils and the build's own packages), builds in")
    add("Release into `build-bench` with `-DQUORLIN_BENCH=ON`, writes the pages into a temporary")
    add("folder, starts nginx there with a configuration of its own on a free port of 127.0.0.1")
    add("and, for part 4, a virtual X screen with openbox and trayer, runs every comparison,")
    add("stops them all and removes the folder. `ROUNDS` (default 7) sets the rounds of parts 1")
    add("to 3, `STARTS` (default 15) the starts of part 4, `RESIDENT_ROUNDS` (default 3) its")
    add("rounds with a first run and `IDLE` (default 300) their idle seconds. The parts can be")
    add("run alone from `build-bench/bin`: `bench_pagecheck`, `bench_checkrun pages|run|list|urls")
    add("...`, `bench_trayfloor`, `bench_traypieces [icon] [splash] [download URL]` and")
    add("`bench_startup TITLE PROGRAM...` (on an X display with a tray host).")
    print("\n".join(out))


if __name__ == "__main__":
    main()
