#!/usr/bin/env python3
"""The fleet report at scale, each input beside a plain Python loop over the same file
(bench/json_loop.py: json.loads of every line, counting one member), in one run:

- 100,000 and 1,000,000 probe lines, one file each (bench/make_probe_lines.py OUT.txt COUNT);
- a folder of 1,000,000 records as an administrator collects them: probe lines, Graph pages,
  export-job and portal CSVs (make_probe_lines.py FOLDER COUNT), which the loop cannot read;
- with --days, 10,000,000 lines of 1,000,000 machines (ten daily files joined, about 4.8 GB),
  written into FOLDER, read once by each program, and deleted after.

The 100,000 and 1,000,000 are timed by hyperfine (RUNS runs each after one warm-up, pinned to one
core); every input is then run once under /usr/bin/time for the peak resident memory (and, for the
10,000,000, the time). Another INSPECTOR after the first is run beside it on the same inputs (a
build from before a change, say). Prints the figures against the goals: the report over
1,000,000 lines in at most a quarter of the loop's time with at most 400 MB, and over 10,000,000
lines of 1,000,000 machines with at most 1 GB.

    fleet_bench.py FOLDER RUNS INSPECTOR [INSPECTOR...] [--days]
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
LOOP = [sys.executable, str(HERE / "json_loop.py")]
MB = 1e6


def made(path, *args):
    if not path.exists():
        subprocess.run([sys.executable, HERE / "make_probe_lines.py", path, *map(str, args)],
                       check=True)
    return path


def size(path):
    files = path.iterdir() if path.is_dir() else [path]
    return sum(f.stat().st_size for f in files) / MB


def timed(command):
    """One run under /usr/bin/time: the peak resident memory in MB and the elapsed seconds."""
    done = subprocess.run(["/usr/bin/time", "-f", "%M %e", *command], capture_output=True,
                          text=True)
    if done.returncode != 0:
        sys.exit(f"failed ({done.returncode}): {' '.join(command)}\n{done.stderr}")
    kib, seconds = done.stderr.strip().splitlines()[-1].split()
    return int(kib) * 1024 / MB, float(seconds)


def main():
    args = [arg for arg in sys.argv[1:] if arg != "--days"]
    folder, runs, inspectors = Path(args[0]), int(args[1]), args[2:]
    folder.mkdir(parents=True, exist_ok=True)
    pin = ["taskset", "-c", "0"] if shutil.which("taskset") else []
    out = str(folder / "report.html")
    lines = {count: made(folder / f"lines-{count}.txt", count) for count in (100_000, 1_000_000)}
    mixed = made(folder / "records-1000000", 1_000_000)

    # Side by side in one hyperfine run: each program over each input.
    cases = []
    for count, path in lines.items():
        cases += [(f"{inspector}, {count:,} lines", [inspector, "--report", out, str(path)])
                  for inspector in inspectors]
        cases.append((f"Python loop, {count:,} lines", LOOP + [str(path)]))
    cases += [(f"{inspector}, folder of 1,000,000 records", [inspector, "--report", out,
                                                             str(mixed)])
              for inspector in inspectors]
    with tempfile.NamedTemporaryFile(suffix=".json") as export:
        subprocess.run(["hyperfine", "-N", "--style", "basic", "--warmup", "1", "--runs",
                        str(runs), "--export-json", export.name,
                        *(" ".join(pin + command) for _, command in cases)], check=True)
        results = json.load(open(export.name))["results"]
    print()
    median = {}
    for (name, command), result in zip(cases, results):
        memory, _ = timed(pin + command)
        median[name] = result["median"]
        print(f"{name} ({size(Path(command[-1])):.0f} MB): median {result['median']:.2f} s "
              f"(mean {result['mean']:.2f} s ± {result['stddev'] or 0:.2f}), peak memory "
              f"{memory:.0f} MB")
    for inspector in inspectors:
        ratio = median[f"{inspector}, 1,000,000 lines"] / median["Python loop, 1,000,000 lines"]
        print(f"{inspector}: 1,000,000 lines in {ratio:.2f} of the Python loop's time "
              f"(goal: at most 0.25, and 400 MB)")

    if "--days" in sys.argv:
        days = folder / "lines-10-days.txt"
        try:
            made(days, 1_000_000, "--days", 10)
            print(f"\n10,000,000 lines of 1,000,000 machines ({size(days):.0f} MB), one run each:")
            for name, command in [(inspector, [inspector, "--report", out, str(days)])
                                  for inspector in inspectors] + [("Python loop",
                                                                   LOOP + [str(days)])]:
                memory, seconds = timed(pin + command)
                print(f"{name}: {seconds:.1f} s, peak memory {memory:.0f} MB (goal for the "
                      f"report: at most 1 GB)")
        finally:
            days.unlink(missing_ok=True)
    os.remove(out)


if __name__ == "__main__":
    main()
