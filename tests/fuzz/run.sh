#!/usr/bin/env bash
# Builds the fuzz targets with clang++ into their own build folder and runs
# each for a bounded time (FUZZ_SECONDS, 30 by default), starting from the
# seed corpus in tests/fuzz/corpus/. Fails when any target finds a crash, a
# broken property, a leak, or an input that runs past 10 seconds (a hang);
# the input that did it is left in <build>/fuzz/artifacts/.
# With QUORLIN_FIGURES set, adds a row per target to its fuzz.md.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${QUORLIN_FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
targets=(fuzz_pagetext fuzz_sectionname fuzz_decode fuzz_routes fuzz_storefile)
declare -A checks=(
    [fuzz_pagetext]="page text and \"ERROR 404\" against a reference written from the rules; check-string search"
    [fuzz_sectionname]="section-name escaping: round trip, no two names alike, both kept apart in a real store file"
    [fuzz_decode]="any body under any Content-Type turned into valid UTF-8; a UTF-8 body checked and mended as Qt's decoder reads it"
    [fuzz_routes]="route tables of arbitrary bytes"
    [fuzz_storefile]="a store file of arbitrary bytes: read as QSettings reads it once damaged lines are gone; one write keeps every value, in a file QSettings reads alike"
)

# The targets that go through QSettings: its cache of parsed files keeps a few
# of them between inputs, which libFuzzer would take for a possible leak after
# nearly every input and check at great cost. Their leaks are looked for once,
# as the run ends (a leak then fails the run all the same).
declare -A options=([fuzz_sectionname]=-detect_leaks=0 [fuzz_storefile]=-detect_leaks=0)

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DQUORLIN_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
failed=()
for target in "${targets[@]}"; do
    corpus=$build/fuzz/corpus/$target
    artifacts=$build/fuzz/artifacts
    log=$build/fuzz/$target.log
    mkdir -p "$corpus" "$artifacts"
    echo "== $target: ${seconds} s"
    status=0
    "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" ${options[$target]:-} \
        "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if ((status == 0)); then
        outcome="no crash, leak, hang or broken property"
        echo "   ${runs:-0} inputs, passed"
    else
        outcome="FAILED (exit $status)"
        failed+=("$target")
        grep -E "property failed|ERROR:|SUMMARY:|Test unit written" "$log" | head -5 || true
    fi
    if [ -n "${QUORLIN_FIGURES:-}" ]; then
        mkdir -p "$QUORLIN_FIGURES"
        echo "| \`$target\` | ${checks[$target]} | $seconds s | ${runs:-0} | $outcome |" \
            >>"$QUORLIN_FIGURES/fuzz.md"
    fi
done

if ((${#failed[@]})); then
    echo "fuzzing failed: ${failed[*]} (logs and inputs in $build/fuzz/)" >&2
    exit 1
fi
