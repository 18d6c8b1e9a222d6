#!/usr/bin/env bash
# Runs the reliability suites and writes what they tried and what came of it
# to docs/reliability.md (or the file given as $1):
#   - misbehaving servers on loopback (tst_hostileservers),
#   - the store under faults: damaged files, an unwritable store, seen from the
#     store, the checker and config (tst_storefaults, tst_actioneditor,
#     tst_settingsdialog),
#   - the two-process soak, QUORLIN_SOAK_SECONDS long (60 by default),
#   - every fuzz target, FUZZ_SECONDS long (30 by default; tests/fuzz/run.sh).
# Builds into $QUORLIN_BUILD (default: build) first. Fails when any of them fails.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUORLIN_BUILD:-build}
output=${1:-docs/reliability.md}
soak=${QUORLIN_SOAK_SECONDS:-60}
fuzz=${FUZZ_SECONDS:-30}
figures=$(mktemp -d)
trap 'rm -rf "$figures"' EXIT

bash scripts/setup.sh tests "$build"
QUORLIN_FIGURES=$figures QUORLIN_SOAK_SECONDS=$soak \
    ctest --test-dir "$build" --output-on-failure \
    -R '^(tst_hostileservers|tst_storefaults|tst_actioneditor|tst_settingsdialog|tst_storesoak)$'
QUORLIN_FIGURES=$figures FUZZ_SECONDS=$fuzz bash tests/fuzz/run.sh

rows() {
    if [ -f "$figures/$1.md" ]; then cat "$figures/$1.md"; fi
}

mkdir -p "$(dirname "$output")"
{
    cat <<EOF
# Reliability

What a server, a file or the other program can throw at Quorlin, and what comes of it.
Every table below was written by the suites themselves in one run of
\`bash scripts/reliability.sh\` (CI runs it after the other tests); the figures are from
that run, on a shared machine with $(nproc) cores, $(date -u +%Y-%m-%d).

## 1. Misbehaving servers

Each server below is a raw socket on 127.0.0.1 (\`tests/platform/tst_hostileservers.cpp\`).
Each download gets a deadline of 3 s from request to last byte (the checker's own is
60 s); the test fails when one takes longer than the deadline plus 7 s, or when it raises
the process's peak resident memory (\`VmHWM\`, reset through \`/proc/self/clear_refs\` before
each download) by 128 MiB or more (256 MiB in the AddressSanitizer build). The body of
any response is capped at 32 MiB as decoded, so no server can make one download hold
more than that plus the buffer's growth to it.

A body of NUL bytes and invalid UTF-8 is the one case that is not a failed download:
the download's contract is that any response body comes back as text, and a page in a
legacy charset that declares none (a stray windows-1252 byte read as UTF-8) is just such
a body; failing it would leave that page unchecked and ask the user to retry it on every
run. It comes back as text with its NULs kept and U+FFFD for each bad sequence, and the
check run treats it like any page (here: the check string is missing twice from the same
text, so it asks whether to open the page).

| server | outcome | time | peak memory rise |
| --- | --- | --- | --- |
$(rows hostile)

## 2. A damaged store file

The store file (\`~/.config/QL/QL.ini\`) damaged by hand, then read by the programs and
changed once (\`tests/settings/tst_storefaults.cpp\`). QSettings lets a quoted value run
past its line and a backslash join the next line, so a single damaged line used to hide
every section after it, and the next change dropped them for good; the store now takes
such lines out (and only them) before anything reads or writes the file.

The file holds the actions a, b and c and the options; each row damages it one way.

| damage | actions whole and kept | actions damaged | outcome |
| --- | --- | --- | --- |
$(rows damaged)

## 3. A store that cannot be written

The store's folder replaced by a file, and a full disk: a 64 KiB tmpfs mounted over the
store's folder and filled up, where the test may mount (it runs as root, in a mount
namespace of its own); elsewhere a file-size limit of 0 stands in for it.

| fault | who writes | outcome |
| --- | --- | --- |
$(rows unwritable)

## 4. Two programs on one store

The editor's operations (\`layout::append\`, \`rename\`, \`remove\`; some names with
\`/\` and \`%\`) and complete check runs of the checker (each writing "TDate" and
"CheckDate", one day apart) on one store from two processes at once
(\`tests/settings/tst_storesoak.cpp\`, \`soak_worker\`). After every operation the editor
reads back the whole list and every section; after every run the checker reads back
both dates; in the end the test compares the file with both. An action read half-way
through an operation of the editor is a failed download that the run skips at its retry
prompt; anything else would be a fault. The default test run takes 10 s; this one
$soak s (\`QUORLIN_SOAK_SECONDS=$soak ctest -R tst_storesoak\`).

| time | editor operations | check runs | downloads | retry prompts skipped | end | outcome |
| --- | --- | --- | --- | --- | --- | --- |
$(rows soak)

## 5. Fuzzing

libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer (\`tests/fuzz/\`, built by
clang++ with \`-DQUORLIN_FUZZ=ON\` in \`build-fuzz\`), each target $fuzz s from the seed corpus
in \`tests/fuzz/corpus/\`; a crash, a leak, a broken property or an input that runs
past 10 s fails. Run them with \`FUZZ_SECONDS=$fuzz bash tests/fuzz/run.sh\`.

| target | what it checks | time | inputs run | outcome |
| --- | --- | --- | --- | --- |
$(rows fuzz)

## 6. Faults these suites found, and how they were mended

- A change that could not be saved (a full disk) was reported as failed, yet read back at
  once as if saved, and saved after all with the next change that succeeded: QSettings
  keeps unsaved changes in memory, shared by every QSettings object of the process on the
  same file name. A failed "Accept" could so leave a list entry without its section. Each
  change now goes through a name of its own, a second link to the file, and is moved over
  the store's name only once saved.
- A file damaged by hand (a line without "=", a cut-off section header) made the first
  change report failure although it had been saved, because QSettings reports its reading
  errors and its writing errors through one status. A change is now judged saved exactly
  when the file was replaced.
- One damaged line (a stray quote, a backslash at its end) hid every section after it
  from both programs, and the next change dropped them from the file for good. Such lines
  are now taken out before the file is read or changed.
- A value typed into the file as a list with an element beginning with "@" read as empty.
- With the store unwritable, the once-a-day rule compared two old dates read back from the
  store and could hold back every timed run; a date that cannot be saved now counts as
  today's.
EOF
} >"$output"
echo "wrote $output"
