#!/usr/bin/env bash
# Every test layer, in order: host unit tests, the same under ASan+UBSan, a bounded fuzzing run,
# then the Windows build with its unit tests and the end-to-end scenarios under Wine, and last the
# release artefacts.
# Every layer runs even when an earlier one failed; the exit status says whether all passed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
FUZZ_SECONDS=${FUZZ_SECONDS:-20} # for each fuzz target

# The Wine prefix is made meanwhile, in the background: where 32-bit code is emulated that takes
# a minute or more, and the layers before the Windows one leave a core idle for part of the time.
(wine_prefix win64) &
prefix_maker=$!

passed=0 failed=0 skipped=0 failures=()
log=$(mktemp)
trap 'rm -f "$log"' EXIT
record() { # LAYER STATUS [CTEST_OUTPUT]: adds the layer's test counts (1 for a non-ctest layer)
    local summary total=1 bad=0
    [ "$2" -eq 0 ] || bad=1
    if [ -n "${3:-}" ] && summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$3" | tail -n 1); then
        bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
        [ "$2" -eq 0 ] || [ "$bad" -gt 0 ] || bad=1
    elif [ -n "${3:-}" ] && summary=$(grep -E '^Ran [0-9]+ tests? in ' "$3" | tail -n 1); then
        # Python unittest: one FAIL or ERROR block per failing test (or subtest)
        total=$(sed -E 's/^Ran ([0-9]+) .*/\1/' <<<"$summary")
        bad=$(grep -cE '^(FAIL|ERROR): ' "$3")
        [ "$bad" -le "$total" ] || bad=$total
        [ "$2" -eq 0 ] || [ "$bad" -gt 0 ] || bad=1
    fi
    local skips=0
    [ -n "${3:-}" ] && skips=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "$3")
    [ -n "${3:-}" ] && grep -qE '^Ran [0-9]+ tests? in ' "$3" &&
        skips=$(grep -oE '^(OK|FAILED) \(.*skipped=[0-9]+' "$3" | sed -E 's/.*skipped=//' | tail -n 1)
    skips=${skips:-0}
    skipped=$((skipped + skips))
    passed=$((passed + total - bad - skips))
    failed=$((failed + bad))
    [ "$2" -eq 0 ] || failures+=("$1")
}
ctest_layer() { # NAME ARGS...  (build then test)
    local name=$1 preset=$2
    shift 2
    echo "=== $name"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2; }; then
        record "$name (build)" 1
        return
    fi
    ctest --test-dir "build/$preset" --output-on-failure -j2 "$@" 2>&1 | tee "$log"
    record "$name" "${PIPESTATUS[0]}" "$log"
}

ctest_layer "host unit tests" host
ctest_layer "host unit tests under ASan+UBSan" asan

echo "=== fuzzing the table walk and the inspector's readers, ${FUZZ_SECONDS} s each"
scripts/fuzz.sh "$FUZZ_SECONDS"
record "fuzzing" $?

echo "=== Windows build, its unit tests and the end-to-end scenarios under Wine"
if cmake --preset windows >/dev/null && cmake --build --preset windows -j2; then
    wait "$prefix_maker"
    wine_prefix win64
    ctest --test-dir build/win --output-on-failure -j2 2>&1 | tee "$log"
    record "Windows tests under Wine" "${PIPESTATUS[0]}" "$log"
    # The layer's persistent servers, had its cleanup test not run.
    for prefix in "$WINEPREFIX" "$VESK_WINE_DIR/win64_b"; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null
        VESK_WINE_USED+=("$prefix")
    done
    wine_done
else
    wait "$prefix_maker"
    record "Windows build" 1
fi

echo "=== release artefacts: make dist into build/dist-test, then its checks"
if VESK_DIST_DIR=build/dist-test scripts/dist.sh; then
    VESK_DIST_DIR=build/dist-test python3 tests/release/check_release.py -v 2>&1 | tee "$log"
    record "release artefacts" "${PIPESTATUS[0]}" "$log"
else
    record "release (make dist)" 1
fi

echo
echo "tests: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] || { printf 'failed: %s\n' "${failures[@]}"; exit 1; }
