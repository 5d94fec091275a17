#!/usr/bin/env bash
# Builds the table walk's libFuzzer target and runs it for SECONDS (default 60) from the seed
# corpus. Fails on any crash, sanitizer report or broken invariant; the failing input is left
# in build/fuzz/artifacts/.
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target walk_fuzz

# New inputs go to a scratch corpus in the build tree; the committed seeds are only read.
work=build/fuzz/corpus
mkdir -p "$work" build/fuzz/artifacts
build/fuzz/fuzz/walk_fuzz "$work" fuzz/corpus -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix=build/fuzz/artifacts/ -error_exitcode=1 -print_final_stats=1
