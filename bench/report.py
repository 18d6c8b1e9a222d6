"""Writes docs/performance.md from the figures bench/run.sh collected.

Arguments: the machine description, bench_pagecheck's JSON output, and the
results file ("name value" lines, one per measurement and round). Every
figure written comes from these files: what was measured once, with code no
longer in the product, belongs in the commit message of the change it
measured.
"""

import json
import statistics
import sys
from collections import defaultdict

# The aims each figure is held to.
AIM_PAGETEXT_PASSES = 4
AIM_RUN200 = 1.3
AIM_RUN1000 = 1.1
AIM_URLWATCH = 5
AIM_STORE_READS = 0.10
AIM_STORE = 0.05
AIM_STARTUP = 1.5
AIM_PSS = 1.15
AIM_SAVE_TIME = 2
AIM_SAVE_WRITTEN = 1.1


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
    return {entry["run_name"]: entry for entry in data["benchmarks"]
            if entry.get("aggregate_name") == "median"}


def ms(value):
    return f"{value:.1f} ms" if value >= 10 else f"{value:.2f} ms"


def mb(kb):
    return f"{kb / 1024:.1f} MB"


def verdict(met):
    return "met" if met else "**missed**"


class Report:
    def __init__(self, values):
        self.values = values
        self.lines = []

    def add(self, *lines):
        self.lines.extend(lines)

    def median(self, name):
        return statistics.median(self.values[name])

    def spread(self, name):
        return f"{ms(min(self.values[name]))} – {ms(max(self.values[name]))}"

    def table(self, header, rows):
        self.add("| " + " | ".join(header) + " |", "|" + " --- |" * len(header))
        self.add(*("| " + " | ".join(str(cell) for cell in row) + " |" for row in rows))
        self.add("")


def page_text(r, pages):
    r.add("## 1. Page text and check-string search",
          "",
          "A 10 MB page of UTF-8, already downloaded, beside one `memchr` pass over it for a byte",
          "it does not hold (`bench_pagecheck`, CPU time, median of its repetitions).",
          "")
    rows = []
    passes = {}
    for kind, title in (("realistic", "realistic HTML"), ("markup", "nearly all markup")):
        floor = pages[f"memchr/{kind}"]["cpu_time"]
        for name, label in (("memchr", "`memchr`"),
                            ("pageText+search", "**page text + check-string search**"),
                            ("utf8Check", "check that the page is UTF-8"),
                            ("wholePath", "check + page text + search")):
            entry = pages[f"{name}/{kind}"]
            rows.append((title, label, ms(entry["cpu_time"]),
                         f"{entry['bytes_per_second'] / 1e6:,.0f} MB/s",
                         f"{entry['cpu_time'] / floor:.2f}"))
        passes[title] = pages[f"pageText+search/{kind}"]["cpu_time"] / floor
    r.table(("page", "pass", "time", "rate", "÷ memchr"), rows)
    r.add(*(f"Aim, page text and search within {AIM_PAGETEXT_PASSES} `memchr` passes, {title}: "
            f"{verdict(value <= AIM_PAGETEXT_PASSES)} ({value:.2f})."
            for title, value in passes.items()), "")


def whole_run(r):
    curl = r.median("curl200_transfers_ms")
    run = r.median("quorlin200_run_ms")
    urlwatch = r.median("urlwatch200_wall_ms")
    peak = r.median("quorlin200_peak_kb")
    r.add("## 2. A check run over 200 pages of 100 KB from nginx on 127.0.0.1",
          "",
          "Each page holds its check string. curl fetches the 200 addresses one after another in",
          "one process; its transfers are the sum of its `time_total`, from request to last byte.",
          "urlwatch makes one pass with a filled cache. The Quorlin run is `bench_checkrun run`:",
          "the checker's store, check run, page download, page text and hidden status window,",
          "timed from `request()` to \"CheckDate\" written. Peak memory is the whole process's.",
          "")
    r.table(("contender", "median", "range", "peak memory"), (
        ("curl, its transfers", ms(curl), r.spread("curl200_transfers_ms"),
         mb(r.median("curl200_peak_kb"))),
        ("curl process, start to exit", ms(r.median("curl200_wall_ms")),
         r.spread("curl200_wall_ms"), ""),
        ("urlwatch, one pass", ms(urlwatch), r.spread("urlwatch200_wall_ms"),
         mb(r.median("urlwatch200_peak_kb"))),
        ("**Quorlin run**", f"**{ms(run)}**", r.spread("quorlin200_run_ms"), mb(peak)),
        ("Quorlin bench process, start to exit", ms(r.median("quorlin200_wall_ms")),
         r.spread("quorlin200_wall_ms"), ""),
    ))
    r.table(("ratio", "value", "aim", ""), (
        ("Quorlin run ÷ curl's transfers", f"{run / curl:.2f}", f"≤ {AIM_RUN200}",
         verdict(run / curl <= AIM_RUN200)),
        ("urlwatch ÷ Quorlin run", f"{urlwatch / run:.1f}", f"≥ {AIM_URLWATCH}",
         verdict(urlwatch / run >= AIM_URLWATCH)),
        ("urlwatch peak ÷ Quorlin peak", f"{r.median('urlwatch200_peak_kb') / peak:.2f}", "> 1",
         verdict(r.median("urlwatch200_peak_kb") > peak)),
    ))


def tiny_run(r):
    run = r.median("quorlin1000_run_ms")
    curl = r.median("curl1000_transfers_ms")
    reads = r.median("quorlin1000_store_reads_ms")
    writes = r.median("quorlin1000_store_writes_ms")
    r.add("## 3. A check run over 1000 tiny pages",
          "",
          "The same over 1000 actions with pages of about 1.5 KB. The run's 3001 store reads and",
          "its two writes are replayed and timed alone right after it, in the same process.",
          "")
    r.table(("figure", "median", "÷ curl's transfers", "share of the run"), (
        ("curl, its transfers", ms(curl), "", ""),
        ("**Quorlin run**", f"**{ms(run)}**", f"**{run / curl:.2f}**", ""),
        ("its store reads", ms(reads), "", f"{100 * reads / run:.1f} %"),
        ("its store writes", ms(writes), "", f"{100 * writes / run:.1f} %"),
    ))
    r.add(f"Aims: the run within {AIM_RUN1000} × curl's transfers, "
          f"{verdict(run / curl <= AIM_RUN1000)}; the store reads within "
          f"{100 * AIM_STORE_READS:.0f} % of the run, {verdict(reads / run <= AIM_STORE_READS)}, "
          f"reads and writes within {100 * AIM_STORE:.0f} %, "
          f"{verdict(reads + writes <= AIM_STORE * run)}.", "")

    r.add("### Where a run's time goes",
          "",
          "Downloads (each with its check that the page is UTF-8) and the status window's writes",
          "are timed inside the run; the page text and search, and the store, are replayed right",
          "after it over the same pages in the same order; the rest is the run's own steps. Page",
          "faults are counted around the whole run and from the end of its second page.",
          "")
    sets = (("quorlin200", "200 × 100 KB"), ("quorlin1000", "1000 tiny"))
    rows = []
    for label, key in (("**the whole run**", "run"), ("download, event loop, UTF-8 check", "download"),
                       ("page text and search", "pagetext"), ("status window", "status"),
                       ("store reads", "store_reads"), ("store writes", "store_writes"),
                       ("the rest", "other")):
        rows.append([label] + [ms(r.median(f"{name}_{key}_ms")) for name, _ in sets])
    rows.append(["page faults per page, whole run"]
                + [f"{r.median(f'{name}_run_faults_per_page'):.2f}" for name, _ in sets])
    rows.append(["page faults per page after the first two"]
                + [f"{r.median(f'{name}_steady_faults_per_page'):.2f}" for name, _ in sets])
    r.table(["part"] + [title for _, title in sets], rows)


def resident(r):
    idle = int(r.median("idle_seconds"))
    r.add("## 4. The resident checker",
          "",
          "The `Quorlin` program beside the least Qt tray program (`bench_trayfloor`), on a virtual",
          "X screen with openbox and a trayer tray host. Start-up runs to listening with the icon in",
          f"the tray (`bench_startup`); memory is read {int(r.median('settle_seconds'))} s after "
          "start-up and after the checker's first run",
          f"(`smaps_rollup`); idle CPU over {idle} s after that run, side by side. "
          f"Medians of {int(r.median('starts'))} starts and",
          f"{int(r.median('resident_rounds'))} rounds.",
          "")

    def row(label, floor_key, checker_key, show, aim=None):
        floor, checker = r.median(floor_key), r.median(checker_key)
        ratio = checker / floor if floor else None
        cells = [label, show(floor), show(checker), f"{ratio:.2f}" if ratio is not None else ""]
        cells += [f"≤ {aim}", verdict(ratio is not None and ratio <= aim)] if aim else ["", ""]
        return cells

    r.table(("figure", "floor", "Quorlin", "÷ floor", "aim", ""), (
        row("**start-up**", "start_floor_ready_ms", "start_checker_ready_ms", ms, AIM_STARTUP),
        row("to listening", "start_floor_listen_ms", "start_checker_listen_ms", ms),
        row("to its icon in the tray", "start_floor_icon_ms", "start_checker_icon_ms", ms),
        row("**PSS after start-up**", "start_floor_pss_kb", "start_checker_pss_kb", mb, AIM_PSS),
        row("**PSS after its first run** (floor beside it)", "run_floor_pss_kb",
            "run_checker_pss_kb", mb, AIM_PSS),
        row("RSS after start-up", "start_floor_rss_kb", "start_checker_rss_kb", mb),
        row("USS after start-up", "start_floor_uss_kb", "start_checker_uss_kb", mb),
        row(f"CPU time over {idle} idle seconds", "idle_floor_cpu_ms", "idle_checker_cpu_ms",
            lambda value: f"{value:.0f} ms"),
        row("the same by its threads' clocks", "idle_floor_cpu_us", "idle_checker_cpu_us",
            lambda value: f"{value:,.0f} µs"),
        row("times its threads woke", "idle_floor_wakeups", "idle_checker_wakeups",
            lambda value: f"{value:.0f}"),
    ))

    r.add("What each of the checker's pieces adds, started in the same turns",
          "(`bench_traypieces`), each beside the row before it:", "")
    rows = []
    before = None
    for key, label in (("floor", "the floor"), ("linked", "linked with the checker's libraries"),
                       ("icon", "… and its icon"), ("splash", "… and its splash shown"),
                       ("download", "… and one page downloaded")):
        ready, pss = r.median(f"start_{key}_ready_ms"), r.median(f"start_{key}_pss_kb")
        added = ("", "") if before is None else (
            f"{ready - r.median(f'start_{before}_ready_ms'):+.1f} ms",
            f"{(pss - r.median(f'start_{before}_pss_kb')) / 1024:+.1f} MB")
        rows.append((label, ms(ready), mb(pss)) + added)
        before = key
    r.table(("program", "start-up", "PSS", "start-up added", "PSS added"), rows)


def store_saves(r):
    r.add("## 5. One save of the store",
          "",
          "One date written into a store of 20 and of 5,000 actions (`bench_storesave`), beside",
          "the floor: reading the file and writing its bytes into a synced copy renamed over it.",
          "\"After a read\" is the save of a program that has just read the file. Bytes are those",
          "of `/proc/self/io`.",
          "")
    rows = []
    aims = []
    for actions in (20, 5000):
        key = f"store{actions}"
        size = r.median(f"{key}_file_bytes")
        floor = r.median(f"{key}_floor_ms")
        for part, label in (("floor", "floor"), ("save", "save"), ("warm", "save after a read")):
            time = r.median(f"{key}_{part}_ms")
            written = r.median(f"{key}_{part}_written_bytes")
            rows.append((f"{actions} ({size / 1024:.1f} KB)", label, ms(time), f"{time / floor:.2f}",
                         f"{r.median(f'{key}_{part}_read_bytes') / 1024:.1f} KB",
                         f"{written / 1024:.1f} KB", f"{written / size:.2f}"))
            if part == "save":
                aims.append((actions, time / floor, written / size))
    r.table(("actions (file)", "figure", "time", "÷ floor", "read", "written", "written ÷ file"),
            rows)
    for actions, ratio, written in aims:
        r.add(f"Aims with {actions} actions: within {AIM_SAVE_TIME} × the floor's time, "
              f"{verdict(ratio <= AIM_SAVE_TIME)}; within {AIM_SAVE_WRITTEN} × the file written, "
              f"{verdict(written <= AIM_SAVE_WRITTEN)}.")
    r.add("")


def main():
    machine_path, pagecheck_path, results_path = sys.argv[1:4]
    with open(machine_path, encoding="utf-8") as machine_file:
        machine = dict(line.rstrip("\n").split(" ", 1) for line in machine_file if " " in line)
    r = Report(load_results(results_path))
    r.add("# Performance",
          "",
          "Every figure below was measured by one run of `bench/run.sh`, on the machine described",
          "at the end, each beside its reference from the same run. Figures are medians of",
          f"{int(r.median('rounds'))} rounds unless a row says otherwise.",
          "")
    page_text(r, load_pagecheck(pagecheck_path))
    whole_run(r)
    tiny_run(r)
    resident(r)
    store_saves(r)
    r.add("## Machine", "")
    r.add(*(f"- {key}: {machine.get(key, '?')}" for key in (
        "cpu", "cores", "memory", "system", "compiler", "qt", "libcurl", "nginx", "curl",
        "urlwatch", "date")))
    r.add("",
          "## Reproducing",
          "",
          "`bash bench/run.sh` (about half an hour) installs what it needs, builds in Release into",
          "`build-bench` and writes this file; see the script for its settings.")
    print("\n".join(r.lines))


if __name__ == "__main__":
    main()
