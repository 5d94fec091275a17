#!/usr/bin/env python3
"""Runs two builds of veskinfo-inspect over the same fleet inputs and compares their reports
byte for byte: the text summary, the HTML file and the CSV file, and the exit status and
messages. Every INPUT is one report's input (a folder is read as the report reads one); after
--each, every file of each folder that follows is an input of its own (a fuzzing corpus, say).
Exits 1 at the first difference, naming the input and the output.

    fleet_compare.py BEFORE AFTER INPUT... [--each FOLDER...]
"""

import subprocess
import sys
import tempfile
from pathlib import Path


def report(inspector, source, out):
    if out != "-":
        Path(out).unlink(missing_ok=True)
    done = subprocess.run([inspector, "--report", str(out), str(source)], capture_output=True)
    text = done.stdout if out == "-" else Path(out).read_bytes() if Path(out).exists() else b""
    return done.returncode, text, done.stderr


def main():
    before, after, *rest = sys.argv[1:]
    inputs, each = [], False
    for arg in rest:
        if arg == "--each":
            each = True
        elif each and Path(arg).is_dir():
            inputs += sorted(p for p in Path(arg).iterdir() if p.is_file())
        else:
            inputs.append(Path(arg))
    with tempfile.TemporaryDirectory() as scratch:
        for source in inputs:
            for kind in ("-", "report.html", "machines.csv"):
                outs = [kind if kind == "-" else Path(scratch, f"{side}-{kind}")
                        for side in ("before", "after")]
                old = report(before, source, outs[0])
                new = report(after, source, outs[1])
                # The messages name the output file, which differs by its folder only.
                new = (new[0], new[1], new[2].replace(b"after-", b"before-"))
                if old != new:
                    sys.exit(f"differ: {source} with --report {kind}: status {old[0]} and "
                             f"{new[0]}\nbefore: {old[2][:300]!r}\nafter:  {new[2][:300]!r}")
    print(f"same: {len(inputs)} inputs, each as text, HTML and CSV")


if __name__ == "__main__":
    main()
