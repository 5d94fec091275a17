#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 60) from its seed corpus: the
# table walk, and the inspector's readers of untrusted input (input formats, .reg reader, the
# audit's value reader, the report's probe lines and detection exports, the registry hive
# readers through hivex). Fails on any crash,
# sanitizer report or broken invariant; the failing input is left in build/fuzz/artifacts/.
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."

# target:seeds[:longest input]; a hive is at least 8 KiB (its base block and one hbin), and
# hive_fuzz also takes a hive with a log of a few pages.
targets=(walk_fuzz:corpus input_fuzz:corpus-input reg_fuzz:corpus-reg stored_fuzz:corpus-stored
         fleet_fuzz:corpus-fleet hive_fuzz:corpus-hive:32768)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]%%:*}"

# The fuzz build lets undefined behaviour go on after its report: stop at it, so it fails the run.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
status=0
for entry in "${targets[@]}"; do
    IFS=: read -r target seeds max_len <<<"$entry"
    seeds=fuzz/$seeds
    echo "--- $target for ${seconds} s"
    # New inputs go to a scratch corpus in the build tree; the committed seeds are only read.
    work=build/fuzz/$target-corpus
    mkdir -p "$work" build/fuzz/artifacts
    build/fuzz/fuzz/$target "$work" "$seeds" -max_total_time="$seconds" -max_len="${max_len:-4096}" \
        -artifact_prefix=build/fuzz/artifacts/ -error_exitcode=1 -print_final_stats=1 || status=1
done
exit $status
