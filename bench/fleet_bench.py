#!/usr/bin/env python3
"""The fleet report at scale: `veskinfo-inspect --report` over 1,000,000 records and over
100,000 (probe lines with Graph pages and exports mixed in, as bench/make_probe_lines.py writes
them), side by side in one hyperfine run on one core, then the peak memory of one run of each.
Prints the figures against the goals: at most 10 s and 1 GB for 1,000,000 records, 2 s and
200 MB for 100,000. Another INSPECTOR given after the first is timed beside it, on the same
inputs (a build from before a change, say).

    fleet_bench.py FOLDER RUNS INSPECTOR [INSPECTOR...]
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
COUNTS = {1_000_000: (10, 1024), 100_000: (2, 200)}  # seconds, MiB


def inputs(folder):
    for count in COUNTS:
        path = folder / f"records-{count}"
        if not path.is_dir():
            subprocess.run([sys.executable, HERE / "make_probe_lines.py", path, str(count)],
                           check=True)
        yield count, path


def peak(command):
    """The peak resident memory of one run, in MiB, and its processor time in seconds."""
    done = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", *command], capture_output=True,
                          text=True, check=True)
    kib, user, system = done.stderr.strip().splitlines()[-1].split()
    return int(kib) / 1024, float(user) + float(system)


def main():
    folder, runs, inspectors = Path(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
    folder.mkdir(parents=True, exist_ok=True)
    pin = ["taskset", "-c", "0"] if shutil.which("taskset") else []
    cases = [(inspector, count, path) for count, path in inputs(folder)
             for inspector in inspectors]
    out = folder / "report.html"
    commands = [" ".join(pin + [inspector, "--report", str(out), str(path)])
                for inspector, _, path in cases]
    with tempfile.NamedTemporaryFile(suffix=".json") as export:
        subprocess.run(["hyperfine", "-N", "--style", "basic", "--warmup", "1", "--runs",
                        str(runs), "--export-json", export.name, *commands], check=True)
        results = json.load(open(export.name))["results"]
    print()
    for (inspector, count, path), result in zip(cases, results):
        size = sum(f.stat().st_size for f in path.iterdir()) / 1e6
        memory, cpu = peak(pin + [inspector, "--report", str(out), str(path)])
        seconds, mib = COUNTS[count]
        print(f"{inspector}: {count:,} records ({size:.0f} MB): median {result['median']:.2f} s "
              f"(mean {result['mean']:.2f} s ± {result['stddev'] or 0:.2f}, processor "
              f"{result['user'] + result['system']:.2f} s), peak memory {memory:.0f} MiB "
              f"(processor {cpu:.2f} s in that run); goal: at most {seconds} s and {mib} MiB")
    os.remove(out)


if __name__ == "__main__":
    main()
