#!/usr/bin/env python3
"""Writes COUNT probe lines (default 100,000) as a fleet sends them back, for timing
`veskinfo-inspect --report`: 40 models, nearly every machine matching, a few of every other
status, and a model whose regulatory identifier differs between its machines. A fifth of the
lines repeat a machine read before (as a folder of daily exports does); most machines carry a
UUID, some only a serial number, a few neither (they are known by name).

    python3 bench/make_probe_lines.py OUT [COUNT]
"""

import json
import random
import sys

STATUSES = (["match"] * 960 + ["differs"] * 12 + ["missing"] * 8 + ["not-run"] * 12 +
            ["only-64-bit"] * 2 + ["no-table"] * 3 + ["error"] * 3)
MAKER = "Vesk Computer Corporation"


def unit(number):
    if number % 20 == 0:
        return None
    if number % 10 == 5:
        return {"serial": f"SN{number:08d}", "uuid": None}
    return {"serial": f"SN{number:08d}", "uuid": f"{number:08X}-4C4C-4D44-8036-B2C04F4D3532"}


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
        "unit": unit(number), "tool": "11.1.1.0"}, separators=(",", ":"))


def main():
    out, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
    rng = random.Random(20)
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        machines = count * 4 // 5
        for number in range(count):
            machine = number if number < machines else rng.randrange(machines)
            f.write(line(machine, rng) + "\n")


if __name__ == "__main__":
    main()
