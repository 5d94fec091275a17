"""Times, alternating, in one prefix: whole runs of VeskInfo.exe against the do-nothing program,
then silent installations of the installer package against the same package holding the
do-nothing program in VeskInfo's place (each removed again, untimed). Prints the medians, their
ratio and VeskInfo's share of an installation. Usage: bench_runs.py BUILD_DIR PREFIX RUNS"""
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


def installed(wine, package):
    """Seconds a silent installation of the package takes; then removes it again."""
    start = time.monotonic()
    code = wine.run(["msiexec", "/i", windows_path(package), "/qn"]).returncode
    seconds = time.monotonic() - start
    wine.run(["msiexec", "/x", windows_path(package), "/qn"])
    if code != 0:
        raise SystemExit("installing %s failed: msiexec exit code %d (8 bits)" % (package, code))
    return seconds


def compare(names, measure, runs):
    """Alternates the two measurements; prints and returns their medians."""
    times = {name: [] for name in names}
    for _ in range(runs):
        for name in names:
            times[name].append(measure(name))
    medians = [statistics.median(times[name]) for name in names]
    for name, median in zip(names, medians):
        print("%-22s median %.3f s  (%s)" % (name, median, ", ".join("%.2f" % t for t in times[name])))
    print("ratio: %.2f" % (medians[0] / medians[1]))
    return medians


def main():
    build, prefix, runs = Path(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    wine = Wine(build, prefix)
    wine.seed_table(ROOT / "samples" / "desktop.bin")
    idle = build / "tools" / "idle.exe"
    timed(wine, idle)  # warm the prefix: services and caches
    print("runs of each: %d%s" % (runs, " (32-bit code emulated)" if emulated_i386() else ""))
    programs = {"VeskInfo.exe": wine.exe, "idle.exe": idle}
    compare(list(programs), lambda name: timed(wine, programs[name]), runs)
    print("--- silent installations (msiexec /i PACKAGE /qn)")
    packages = {"VeskInfo.msi": build / "msi" / "VeskInfo.msi", "idle.msi": build / "msi" / "idle.msi"}
    full, baseline = compare(list(packages), lambda name: installed(wine, packages[name]), runs)
    print("VeskInfo's share of an installation: %.0f %%" % (100 * (full - baseline) / full))


if __name__ == "__main__":
    main()
