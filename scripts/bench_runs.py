"""Times whole runs of VeskInfo.exe and of the do-nothing program, alternating, in one prefix;
prints the median of each and their ratio. Usage: bench_runs.py BUILD_DIR PREFIX RUNS"""
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from winerun import ROOT, Wine, emulated_i386, windows_path  # noqa: E402


def timed(wine, program):
    start = time.monotonic()
    subprocess.run(["wine", windows_path(program)], env=wine.env, check=False,
                   capture_output=True, timeout=900)
    return time.monotonic() - start


def main():
    build, prefix, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    wine = Wine(build, prefix)
    wine.seed_table(ROOT / "samples" / "desktop.bin")
    idle = Path(build) / "tools" / "idle.exe"
    timed(wine, idle)  # warm the prefix: services and caches
    veskinfo, baseline = [], []
    for _ in range(runs):
        veskinfo.append(timed(wine, wine.exe))
        baseline.append(timed(wine, idle))
    a, b = statistics.median(veskinfo), statistics.median(baseline)
    print("runs of each: %d%s" % (runs, " (32-bit code emulated)" if emulated_i386() else ""))
    print("VeskInfo.exe  median %.3f s  (%s)" % (a, ", ".join("%.2f" % t for t in veskinfo)))
    print("idle.exe      median %.3f s  (%s)" % (b, ", ".join("%.2f" % t for t in baseline)))
    print("ratio VeskInfo/idle: %.2f" % (a / b))


if __name__ == "__main__":
    main()
