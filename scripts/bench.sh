#!/usr/bin/env bash
# Benchmarks: the table walk (Google Benchmark, optimised host build), whole runs of the
# optimised veskinfo-inspect against dmidecode (hyperfine), its audit of an installation's hives
# against .reg exports (hyperfine), its fleet report over 1,000,000 and 100,000 records
# (hyperfine, and the peak memory of one run of each), then whole runs of VeskInfo.exe under
# Wine against a do-nothing GUI program built the same way, and silent installations of the
# installer package against the same package holding that program, alternating.
#   RUNS=n   runs of each program and installations of each package (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
echo "=== the table walk"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target walk_bench >/dev/null
build/bench/bench/walk_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

echo "=== veskinfo-inspect against dmidecode, whole processes"
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target veskinfo-inspect >/dev/null
python3 bench/make_tables.py build/bench/tables 1000
python3 bench/inspect_bench.py build/release/inspect/veskinfo-inspect build/bench/tables "${RUNS:-5}"

echo "=== veskinfo-inspect --audit: an installation's hives against .reg exports"
cmake --build --preset release -j2 --target make_depot >/dev/null
bench/depot_bench.sh build/release/inspect/veskinfo-inspect build/release/tests/inspect/make_depot \
    build/bench/depot "${RUNS:-5}"

echo "=== veskinfo-inspect --report over 1,000,000 and 100,000 records"
python3 bench/fleet_bench.py build/bench/fleet "${RUNS:-5}" build/release/inspect/veskinfo-inspect

echo "=== whole runs and installations under Wine"
source scripts/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target VeskInfo idle regtool64 test-packages >/dev/null
wine_prefix win64
python3 scripts/bench_runs.py build/win "$WINEPREFIX" "${RUNS:-5}"
wine_done
