#!/usr/bin/env python3
"""Writes COUNT probe lines (default 100,000) as a fleet sends them back, for timing
`veskinfo-inspect --report`: 40 models, nearly every machine matching, a few of every other
status, and a model whose regulatory identifier differs between its machines.

    python3 bench/make_probe_lines.py OUT [COUNT]
"""

import json
import random
import sys

STATUSES = (["match"] * 960 + ["differs"] * 12 + ["missing"] * 8 + ["not-run"] * 12 +
            ["only-64-bit"] * 2 + ["no-table"] * 3 + ["error"] * 3)
MAKER = "Vesk Computer Corporation"


def line(number, rng):
    model = rng.randrange(40)
    system_id, regulatory = f"{0xA00 + model:X}", f"VCC-D{7400 + model}"
    if model == 7 and rng.random() < 0.05:
        regulatory = f"VCC-D{7400 + model}B"
    expected = {"manufacturer": MAKER, "system_id": system_id, "regulatory_id": regulatory}
    status = rng.choice(STATUSES)
    stored = dict(expected)
    if status == "differs":
        stored["system_id"] = "B12"
    elif status == "missing":
        stored["regulatory_id"] = None
    elif status in ("not-run", "no-table", "error"):
        stored = {key: None for key in stored}
    if status in ("no-table", "error"):
        expected = {key: None for key in expected}
    return json.dumps({
        "probe": 1, "machine": f"DESKTOP-{number:06d}", "status": status,
        "stored": stored, "expected": expected, "source": "wmi",
        "model": {"manufacturer": MAKER, "product": f"Vesk D{7400 + model}",
                  "family": "Vesk Desktop", "sku": f"SKU-{model:03d}"},
        "tool": "11.1.1.0"}, separators=(",", ":"))


def main():
    out, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
    rng = random.Random(20)
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        for number in range(count):
            f.write(line(number, rng) + "\n")


if __name__ == "__main__":
    main()
