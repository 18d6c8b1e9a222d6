#!/usr/bin/env bash
# Runs the reliability suites and writes what they tried and what came of it
# to docs/reliability.md (or the file given as $1):
#   - misbehaving servers on loopback (tst_hostileservers),
#   - the store under faults: damaged files, an unwritable store, seen from the
#     store, the checker and config (tst_storefaults, tst_actioneditor,
#     tst_actionlist, tst_settingsdialog),
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
    -R '^(tst_hostileservers|tst_storefaults|tst_actioneditor|tst_actionlist|tst_settingsdialog|tst_storesoak)$'
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
namespace of its own); elsewhere a file-size limit of 0 stands in for it. A folder that
takes no new file and no new link (a tmpfs with every inode in use: what a file system
without hard links, or a store file of another user's, did to the old fallback). Room for
the first key of a user action but not for the whole of it (a file-size limit of the
file's size plus a few bytes). The writers' lock held by a hung writer (\`store_writer
hold\`, a second process that takes the lock and sleeps): each writer gives up after 5 s.
A store file its user made read-only (mode 0444; that row runs as an unprivileged user,
as root writes any file). Each user action of the editor is checked to leave the file byte
for byte as it was; each failed write, to keep the file's inode and mode and to leave at
most one thread and one descriptor waiting for the lock.

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

## 6. A linked store, two editors, texts that look like markup

| case | test | outcome |
| --- | --- | --- |
| \`QL.ini\` a relative symbolic link into another folder; written by this process and by a second one (20 writes) | \`tst_store\` | the link's target replaced, the link kept, mode 0600; no other file in either folder |
| the link pointed elsewhere between two writes | \`tst_store\` | the next write goes to the new target; the old one is left alone |
| a writer killed in the middle of its writes | \`tst_store\` | the next write removes the copy it left; only \`QL.ini\` in the folder |
| a second \`config\` started while one runs | \`tst_closechannel\` | the first is asked to come forward and confirms; the second ends with 0, no window or box of its own, store file unchanged |
| the running \`config\` killed, then started again | \`tst_closechannel\` | the new one takes over the lock and the entry it left |
| a description, stored date and page text holding \`<b>\`, \`<a href="file:...">\`, \`&amp;\`, \`<br>\` | \`tst_checkerwindows\` | status window shows them as written |
| the same texts in a real message box ("Site Updated:") | \`tst_messageboxtext\` | shown as written, no link |

## 7. Faults these suites found, and how they were mended

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
- A store file that was a symbolic link left a \`QL.ini.edit-<pid>-<n>\` file behind at every
  write (the checker's daily "TDate" among them), because the final rename found both
  names pointing at the same link. Every change is now made on a private copy beside the
  link's target, resolved at the time of the write, and moved over the target; copies a
  killed writer left are removed by the next write.
- Where the second link to the file could not be made (a file system without hard links,
  a folder with no inode left, a file of another user's), a change was made under the
  file's own name, and one that failed stayed in QSettings's memory: read back at once,
  saved with the next change. That path is gone; every change goes through its own copy.
- Accept, Delete and Save were sequences of single-key writes: a failure half-way kept
  the first ones (a list entry without its section, the last action at two positions, some
  options changed while \`ChangesMade\` said nothing was). Each is now one change of the
  file.
- A new version of the file cut short (a file-size limit, a disk with room for part of
  it) was moved into place by QSettings all the same and reported as saved, losing the
  sections at its end. A change now counts as saved only when the written file reads back
  as everything it was meant to hold.
- Two editors at once appended at the same position and overwrote each other's actions.
  A second \`config\` now hands over to the running one and ends.
- A writer waited for the writers' lock without limit, so a hung writer froze the other
  program at its next write (the checker with its tray menu). A writer now gives up after
  5 s and reports the write as failed.
- Any local user could hang a save for ever: each save was made a second time, for
  comparison, on a copy in the system's temporary folder, where QSettings waited without
  limit on a lock file that another user could plant beside it. With the temporary folder
  unusable (missing, read-only, full) every save failed, and a program killed during a
  save left full copies of the list there. The store now writes its file itself, once,
  into a private copy in its own folder, checking every byte written; nothing outside the
  store's folder (and the lock's) is written or read.
- A \`QL.ini\` made read-only by its user was replaced (new inode, mode 0600) and the write
  reported success. Such a write now fails, and the file keeps its contents, inode and mode.
- Each timed-out wait for the writers' lock left a thread and a descriptor behind for as
  long as the holder kept the lock, so a program that kept trying piled them up. The
  writers of one program now share one wait: at most one is left behind.
- The copy that repaired a damaged file was renamed over it without being synced, and no
  save synced the folder after its rename. Every save now syncs its copy, renames it and
  syncs the folder; damaged lines are left out when the file is read, and go with the next
  save instead of a repair of their own.
- A change with nothing to do (an empty change, or removals that found nothing) was
  reported as failed. It now succeeds without rewriting the file.
- Accept of a new action and Delete trusted the editor's count of the list, which another
  writer could have made stale: an add could overwrite another action's entry, a delete
  leave a hole. Both now take the list's length from the file in the same locked step as
  their writes.
- Message boxes and the status window took a text holding markup as rich text: a
  description \`Notes <b>new</b>\` showed bold, and one holding \`<a href="file:...">\` became
  a live link in the "Site Updated:" box, opened by the desktop whatever its scheme. Both
  now show every text as plain text.
EOF
} >"$output"
echo "wrote $output"
