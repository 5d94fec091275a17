#!/usr/bin/env python3
"""Writes COUNT generated SMBIOS tables as dmidecode dump files into FOLDER (the random,
well-formed tables of the peer check, with as many structures as real firmware has: 70 to 80,
about 3.7 KB), for the whole-process benchmarks.

    make_tables.py FOLDER COUNT [SEED]
"""

import random
import shutil
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "samples"))
sys.path.insert(0, str(ROOT / "tests" / "inspect"))
import dmidump  # noqa: E402
import make_samples  # noqa: E402
from peer_check import random_table  # noqa: E402


# Firmware strings are mostly short names, versions and serial numbers.
REAL_LENGTHS = [3, 5, 6, 8, 10, 12, 16]


def main():
    folder, count = Path(sys.argv[1]), int(sys.argv[2])
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1000)
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for i in range(count):
        table, _ = random_table(rng, make_samples, others_count=(64, 74), lengths=REAL_LENGTHS)
        (folder / f"table-{i:04d}.dump").write_bytes(dmidump.dump(table, smbios3=i % 2 == 0))


if __name__ == "__main__":
    main()
