#!/usr/bin/env python3
"""Whole-process benchmarks of veskinfo-inspect against dmidecode, side by side in one hyperfine
run each: one table (the inspector against `dmidecode --from-dump FILE -t 1 -t 11`); the probe of
one machine (`--audit --probe STORED.reg TABLE`) against the plain `--audit` and the same
dmidecode run; and a batch of tables in one inspector run (tab-separated, and --json) against
one dmidecode run per table. Prints the ratios and the tables per second, from the median
times; dmidecode's own process time is the one-table run, measured directly.

    inspect_bench.py INSPECTOR FOLDER_OF_DUMPS [RUNS]
"""

import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent


# The processor time (user and system, mean) of each command hyperfine ran: on a busy machine
# steadier than the elapsed time.
CPU = {}


def hyperfine(commands, runs, warmup):
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        subprocess.run(["hyperfine", "-N", "--style", "basic", "--warmup", str(warmup),
                        "--runs", str(runs), "--export-json", report.name, *commands],
                       check=True)
        # The median: on a shared machine a few runs are held up by other work.
        results = json.load(open(report.name))["results"]
        CPU.update({r["command"]: r["user"] + r["system"] for r in results})
        return [r["median"] for r in results]


def stored_export(inspector, table, folder):
    """An export of the values VeskInfo records from `table`, as the registry editor writes it."""
    values = subprocess.run([inspector, table], capture_output=True, check=True).stdout
    names = ("System Manufacturer", "SystemIdHex", "RegulatoryID")
    lines = ["REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vesk Computer Corporation\\SysInfo]"]
    for name, value in zip(names, values.split(b"\n")):
        text = value.decode("latin-1").replace("\\", "\\\\").replace('"', '\\"')
        lines.append('"%s"="%s"' % (name, text))
    path = os.path.join(folder, "stored.reg")
    with open(path, "wb") as export:
        export.write(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
    return path


def main():
    inspector, folder = sys.argv[1], Path(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    tables = sorted(folder.iterdir())
    one = tables[0]
    print(f"=== one table ({one.name}, {one.stat().st_size} bytes)")
    ours, theirs = hyperfine([f"{inspector} {one}", f"dmidecode --from-dump {one} -t 1 -t 11"],
                             runs * 20, 20)
    print(f"=== the probe of one machine ({one.name})")
    with tempfile.TemporaryDirectory() as scratch:
        stored = stored_export(inspector, one, scratch)
        commands = [f"{inspector} --audit --probe {stored} {one}",
                    f"{inspector} --audit {stored} {one}"]
        probe, audit = hyperfine(commands, runs * 20, 20)
        probe_cpu, audit_cpu = (CPU[c] for c in commands)
    print(f"=== {len(tables)} tables")
    batch, batch_json, each = hyperfine(
        [f"{inspector} {folder}", f"{inspector} --json {folder}",
         f"bash {HERE / 'dmidecode_each.sh'} {folder}"], runs, 1)
    print()
    print(f"one table: inspector {ours * 1e3:.2f} ms, dmidecode {theirs * 1e3:.2f} ms: "
          f"dmidecode/inspector {theirs / ours:.2f} (goal: at least 1)")
    print(f"{len(tables)} tables: inspector in one run {batch * 1e3:.1f} ms "
          f"({len(tables) / batch:,.0f} tables/s), one dmidecode run each {each:.2f} s "
          f"({len(tables) / each:,.0f} tables/s): ratio {each / batch:.1f} (goal: at least 50)")
    print(f"{len(tables)} tables in --json: inspector in one run {batch_json * 1e3:.1f} ms "
          f"({len(tables) / batch_json:,.0f} tables/s): ratio {each / batch_json:.1f} "
          f"(goal: at least 50); --json/tab-separated {batch_json / batch:.2f} (goal: at most 1.3)")
    print(f"probe line: {probe * 1e3:.2f} ms a machine, --audit {audit * 1e3:.2f} ms, one table "
          f"{ours * 1e3:.2f} ms, dmidecode's own process {theirs * 1e3:.2f} ms: probe/--audit "
          f"{probe / audit:.2f} (goal: at most 1), probe/one table {probe / ours:.2f} "
          f"(goal: at most 1.3); processor time: probe {probe_cpu * 1e3:.2f} ms, --audit "
          f"{audit_cpu * 1e3:.2f} ms")


if __name__ == "__main__":
    main()
