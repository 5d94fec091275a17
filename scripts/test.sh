#!/usr/bin/env bash
# Every test layer, in order: host unit tests, the same under ASan+UBSan, a bounded fuzzing run,
# then the Windows build with its unit tests and the end-to-end scenarios under Wine.
# Every layer runs even when an earlier one failed; the exit status says whether all passed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
FUZZ_SECONDS=${FUZZ_SECONDS:-60}

passed=0 failed=0 failures=()
record() { # LAYER STATUS
    if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); failures+=("$1"); fi
}
ctest_layer() { # NAME ARGS...  (build then test)
    local name=$1 preset=$2
    shift 2
    echo "=== $name"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2; }; then
        record "$name (build)" 1
        return
    fi
    ctest --test-dir "build/$preset" --output-on-failure -j2 "$@"
    record "$name" $?
}

ctest_layer "host unit tests" host
ctest_layer "host unit tests under ASan+UBSan" asan

echo "=== fuzzing the table walk for ${FUZZ_SECONDS} s"
scripts/fuzz.sh "$FUZZ_SECONDS"
record "fuzzing" $?

echo "=== Windows build, its unit tests and the end-to-end scenarios under Wine"
if cmake --preset windows >/dev/null && cmake --build --preset windows -j2; then
    wine_prefix win64
    ctest --test-dir build/win --output-on-failure
    record "Windows tests under Wine" $?
    wine_done
else
    record "Windows build" 1
fi

echo
echo "layers: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || { printf 'failed: %s\n' "${failures[@]}"; exit 1; }
