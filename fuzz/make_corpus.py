#!/usr/bin/env python3
"""Writes the seed corpus of the walk's fuzz target into fuzz/corpus/: the bundled samples
plus small hand-made tables that sit on the walk's edges.

    python3 fuzz/make_corpus.py
"""

import shutil
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "samples"))
from make_samples import SAMPLES, Strings, Table, end_of_table, oem_strings, structure  # noqa: E402


def system(handle, number, texts, last_formatted=0x04):
    """Type 1 with string `number` as the manufacturer (8-byte formatted area)."""
    s = Strings()
    for text in texts:
        s.add(text)
    return structure(1, handle, struct.pack("<BBBB", number, 2, 3, last_formatted), s)


def vesk208(handle, low, high):
    return structure(208, handle, struct.pack("<BBBBBB", 1, 0, 0, 0, low, high))


def table(*builds):
    t = Table()
    for build, *args in builds:
        t.add(build, *args)
    return t.bytes()


EDGES = {
    "worked.bin": table((system, 1, ["Acme", "Box", "1.0", "SN1"]),
                        (oem_strings, ["1[00a5]", "13[R-77]"]),
                        (vesk208, 0x2B, 0x05), (end_of_table,)),
    "number-out-of-range.bin": table((system, 3, ["Acme", "Box"]), (oem_strings, ["1[2A]"])),
    "empty-string-area.bin": table((system, 1, [], 0x00)),
    "marker-without-bracket.bin": table((oem_strings, ["13[R-1", "1[2b"]), (system, 1, ["A"])),
    "long-string.bin": table((system, 1, ["M" * 200]), (oem_strings, ["-" * 126 + "1[5]"])),
    "signs-and-prefix.bin": table((oem_strings, ["1[-1]", "1[0x1f]", "1[zz]", "x1[7]13[9]"])),
    "double-byte.bin": table((oem_strings, ["\x81[1[\x9f]", "\xe013[\x5d]"])),
    "after-end-of-table.bin": table((end_of_table,), (system, 1, ["After"])),
    "length-zero.bin": bytes([0x05, 0x00, 0x00, 0x00, 0x00]) + table((system, 1, ["Acme"])),
    "cut-type208.bin": bytes([0xD0, 0x0A, 0x00, 0x00, 0, 0, 0, 0, 0x44]),
    "unterminated.bin": bytes([0x0B, 0x05, 0x00, 0x00, 0x02]) + b"1[7]\x0013[",
}


def main():
    out = ROOT / "fuzz" / "corpus"
    out.mkdir(exist_ok=True)
    for name, _, _, _ in SAMPLES:
        shutil.copyfile(ROOT / "samples" / name, out / name)
    for name, data in EDGES.items():
        (out / name).write_bytes(data)


if __name__ == "__main__":
    main()
