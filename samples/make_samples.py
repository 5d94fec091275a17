#!/usr/bin/env python3
"""Generates the bundled SMBIOS sample tables and their notes.

Each sample is a raw structure table exactly as Windows hands it over (no entry point):
structures back to back from the first byte. The makers, products and strings are invented.

    python3 samples/make_samples.py [OUTDIR]

writes the *.bin files and README.md into OUTDIR (by default this script's directory). The
files are committed; a host test regenerates them and fails when they differ, so this script
stays the documentation of every byte.

The helpers below (Table, the structure builders) are also used by the tests that build
tables of their own.
"""

import struct
import sys
from pathlib import Path

MAKER = "Vesk Computer Corporation"


class Strings:
    """The string set of one structure; add() hands out the 1-based string numbers."""

    def __init__(self):
        self.texts = []

    def add(self, text):
        if text is None:
            return 0  # string number 0: "no string"
        self.texts.append(text)
        return len(self.texts)

    def area(self):
        """The string area: each string with its zero, then the closing zero."""
        if not self.texts:
            return b"\0\0"
        return b"".join(t.encode("latin-1") + b"\0" for t in self.texts) + b"\0"


def structure(type_, handle, fields, strings=None):
    """One structure: type, length and handle, the rest of the formatted area, the strings."""
    formatted = struct.pack("<BBH", type_, 4 + len(fields), handle) + fields
    return formatted + (strings or Strings()).area()


class Table:
    """Structures back to back, each given the next handle."""

    def __init__(self):
        self.parts = []

    def next_handle(self):
        return len(self.parts)

    def add(self, build, *args, **kwargs):
        """Appends build(handle, ...) and returns the handle it was given."""
        handle = self.next_handle()
        self.parts.append(build(handle, *args, **kwargs))
        return handle

    def raw(self, data):
        self.parts.append(bytes(data))

    def bytes(self):
        return b"".join(self.parts)


# --- structure builders (SMBIOS 3.3 layouts) ------------------------------------------------


# PCI, upgradeable flash, shadowing, boot from CD, selectable boot, EDD.
BIOS_CHARACTERISTICS = sum(1 << bit for bit in (7, 11, 12, 15, 16, 19))


def bios_information(handle, vendor, version, date):
    """Type 0, 26 bytes: vendor, version and release date strings; a 16 MiB flash part."""
    s = Strings()
    fields = struct.pack(
        "<BBHBBQBBBBBBH",
        s.add(vendor),
        s.add(version),
        0xF000,  # starting address segment
        s.add(date),
        0xFF,  # ROM size: see the extended size
        BIOS_CHARACTERISTICS,
        0x03,  # extension byte 1: ACPI, USB legacy
        0x0D,  # extension byte 2: BIOS boot, targeted content distribution, UEFI
        1, 7,  # system BIOS release 1.7
        0xFF, 0xFF,  # no embedded controller firmware
        0x0010,  # extended ROM size: 16 MiB
    )
    return structure(0, handle, fields, s)


def system_information(handle, maker, product, version, serial, uuid, sku, family):
    """Type 1, 27 bytes: the manufacturer is string number (byte 4) 1 here."""
    s = Strings()
    fields = struct.pack("<BBBB", s.add(maker), s.add(product), s.add(version), s.add(serial))
    fields += bytes(uuid)
    fields += struct.pack("<BBB", 0x06, s.add(sku), s.add(family))  # woken by power switch
    return structure(1, handle, fields, s)


def baseboard(handle, maker, product, version, serial, asset, location, chassis_handle):
    """Type 2, 15 bytes: a motherboard in the given chassis, no contained objects."""
    s = Strings()
    fields = struct.pack(
        "<BBBBBBBHBB",
        s.add(maker), s.add(product), s.add(version), s.add(serial), s.add(asset),
        0x09,  # hosting board, replaceable
        s.add(location),
        chassis_handle,
        0x0A,  # motherboard
        0,  # no contained object handles
    )
    return structure(2, handle, fields, s)


def chassis(handle, maker, chassis_type, version, serial, asset, sku):
    """Type 3, 22 bytes: states safe, no contained elements."""
    s = Strings()
    fields = struct.pack(
        "<BBBBBBBBBIBBBBB",
        s.add(maker), chassis_type, s.add(version), s.add(serial), s.add(asset),
        0x03, 0x03, 0x03,  # boot-up, power supply and thermal state: safe
        0x03,  # security: none
        0,  # OEM-defined
        0, 1,  # height unspecified, one power cord
        0, 0,  # no contained elements
        s.add(sku),
    )
    return structure(3, handle, fields, s)


def processor(handle, socket, maker, version, cores, threads, speed, caches):
    """Type 4, 48 bytes: a populated, enabled 64-bit central processor."""
    s = Strings()
    fields = struct.pack(
        "<BBBBQBBHHHBBHHHBBBBBBHHHHH",
        s.add(socket),
        0x03,  # central processor
        0x01,  # family: other
        s.add(maker),
        0x0000_0F1A_00B0_0671,  # processor identifier (invented)
        s.add(version),
        0x8B,  # voltage 1.1 V
        100,  # external clock, MHz
        5000, speed,  # maximum and current speed, MHz
        0x41,  # socket populated, enabled
        0x01,  # upgrade: other
        *caches,  # L1, L2, L3 cache handles
        s.add(None), s.add(None), s.add(None),  # serial, asset tag, part number
        cores, cores, threads,
        0x00FC,  # 64-bit, multi-core, hardware thread, execute protection, ...
        0x0001,  # family 2: other
        cores, cores, threads,
    )
    return structure(4, handle, fields, s)


def cache(handle, designation, level, size_kib, associativity):
    """Type 7, 27 bytes: an internal, enabled, write-back cache."""
    s = Strings()
    config = 0x0180 | (level - 1)  # enabled, write back, internal
    fields = struct.pack(
        "<BHHHHHBBBBII",
        s.add(designation), config, size_kib, size_kib,
        0x0020, 0x0020,  # synchronous SRAM
        0,  # speed unknown
        0x06,  # multi-bit ECC
        0x05,  # unified
        associativity,
        size_kib, size_kib,
    )
    return structure(7, handle, fields, s)


def system_slot(handle, designation, slot_type, width, usage, slot_id, bus, devfn):
    """Type 9, 17 bytes."""
    s = Strings()
    fields = struct.pack(
        "<BBBBBHBBHBB",
        s.add(designation), slot_type, width, usage,
        0x04,  # long
        slot_id,
        0x0C,  # 3.3 V, shared
        0x01,  # PME
        0, bus, devfn,
    )
    return structure(9, handle, fields, s)


def oem_strings(handle, texts):
    """Type 11, 5 bytes: the count, then the strings."""
    s = Strings()
    for text in texts:
        s.add(text)
    return structure(11, handle, struct.pack("<B", len(texts)), s)


def memory_array(handle, capacity_kib, devices):
    """Type 16, 23 bytes: system memory on the system board, no error correction."""
    fields = struct.pack("<BBBIHHQ", 0x03, 0x03, 0x03, capacity_kib, 0xFFFE, devices, 0)
    return structure(16, handle, fields)


def memory_device(handle, array, locator, bank, size_mib, maker, serial, part):
    """Type 17, 40 bytes: an unbuffered DDR4 DIMM."""
    s = Strings()
    fields = struct.pack(
        "<HHHHHBBBBBHHBBBBBIHHHH",
        array,
        0xFFFE,  # no error information
        64, 64, size_mib,
        0x09,  # DIMM
        0,
        s.add(locator), s.add(bank),
        0x1A,  # DDR4
        0x4080,  # synchronous, unbuffered
        3200,
        s.add(maker), s.add(serial), s.add(None), s.add(part),
        0x01,  # single rank
        0,  # extended size: see size
        3200, 1200, 1200, 1200,
    )
    return structure(17, handle, fields, s)


def mapped_address(handle, array, start_kib, end_kib, width):
    """Type 19, 31 bytes."""
    fields = struct.pack("<IIHBQQ", start_kib, end_kib, array, width, 0, 0)
    return structure(19, handle, fields)


def boot_information(handle):
    """Type 32, 11 bytes: no errors detected."""
    return structure(32, handle, bytes(6) + b"\0")


def vesk_system_id(handle, low, high):
    """Type 208, 10 bytes: Vesk's own structure; bytes 8 and 9 are the system identifier,
    low byte first (VeskInfo records it as "%X%02X" of byte 9 then byte 8)."""
    fields = struct.pack("<BBBBBB", 0x01, 0x00, 0x00, 0x00, low, high)  # 4-7: layout revision 1
    return structure(208, handle, fields)


def end_of_table(handle):
    """Type 127, 4 bytes."""
    return structure(127, handle, b"")


# --- the samples ----------------------------------------------------------------------------


def desktop():
    t = Table()
    t.add(bios_information, "Vesk Firmware", "VK1.07.2", "03/14/2023")
    uuid = bytes.fromhex("5a1c9e0472b34d0e9f11c3a0d6e4b87f")
    t.add(system_information, MAKER, "Vesk Desk 7400", "Rev A02", "VKD7400A0193", uuid,
          "VD7400-EU", "Vesk Desk")
    chassis_handle = 3  # the chassis follows the baseboard
    t.add(baseboard, MAKER, "VB-Z7 Mainboard", "A02", "VBZ7-88213-0417", "Not Set",
          "Board Slot", chassis_handle)
    t.add(chassis, MAKER, 0x03, "A02", "VKD7400A0193", "IT-004711", "VD7400-EU")
    l1 = t.add(cache, "L1 Cache", 1, 512, 0x07)
    l2 = t.add(cache, "L2 Cache", 2, 4096, 0x08)
    l3 = t.add(cache, "L3 Cache", 3, 16384, 0x0E)
    t.add(processor, "CPU0", "Quillon Semiconductor", "Quillon QX-8 Processor 3.4GHz",
          8, 16, 3400, (l1, l2, l3))
    t.add(system_slot, "PCIE_X16_1", 0xA5, 0x0D, 0x04, 1, 0x01, 0x00)
    t.add(system_slot, "PCIE_X1_2", 0xA5, 0x08, 0x03, 2, 0x02, 0x08)
    t.add(oem_strings, ["Vesk Desk platform 4", "1[0A47]", "13[VCC-D7400]", "Build 2023.11"])
    array = t.add(memory_array, 64 * 1024 * 1024, 2)
    t.add(memory_device, array, "DIMM_A1", "CHANNEL A", 8192, "Brightmere Memory",
          "B7E20411", "BM8G32U-D4")
    t.add(memory_device, array, "DIMM_B1", "CHANNEL B", 8192, "Brightmere Memory",
          "B7E20598", "BM8G32U-D4")
    t.add(mapped_address, array, 0x00000000, 0x00FFFFFF, 2)
    t.add(boot_information)
    t.add(end_of_table)
    return t.bytes()


def type208():
    t = Table()
    t.add(bios_information, "Vesk Firmware", "VN2.11.0", "09/02/2022")
    uuid = bytes.fromhex("0b6f2a9c41d84e7aa3c2915e7d60f1c4")
    t.add(system_information, MAKER, "Vesk Note 13", "Rev B01", "VKN13B2241", uuid,
          "VN13-US", "Vesk Note")
    t.add(chassis, MAKER, 0x0A, "B01", "VKN13B2241", None, "VN13-US")  # notebook
    t.add(oem_strings, ["Vesk Note platform 2", "13[VCC-N1320]"])  # no "1[" marker
    t.add(vesk_system_id, 0x5B, 0x0A)
    t.add(boot_information)
    t.add(end_of_table)
    return t.bytes()


def no_markers():
    t = Table()
    t.add(bios_information, "Quarry Lane Firmware", "QL-3.2", "11/30/2021")
    uuid = bytes.fromhex("9d3e7b21c0a54f6898e1427c3b5d0a16")
    t.add(system_information, "Quarry Lane Systems", "QLS Tower 5", "1.0", "QL5T-000318",
          uuid, "QLT5", "Tower")
    t.add(chassis, "Quarry Lane Systems", 0x07, "1.0", "QL5T-000318", None, None)  # tower
    # Near misses: neither holds "1[" or "13[".
    t.add(oem_strings, ["Profile 13", "Ref [12]", "1 [7]"])
    t.add(boot_information)
    t.add(end_of_table)
    return t.bytes()


def registry_header():
    t = Table()
    t.add(bios_information, "Vesk Firmware", "VK1.09.0", "06/21/2024")
    uuid = bytes.fromhex("e4a0c93b15724d8f8b6a2f1d90c37e58")
    t.add(system_information, MAKER, "Vesk Desk 7600", "Rev A00", "VKD7600A0027", uuid,
          "VD7600-EU", "Vesk Desk")
    t.add(chassis, MAKER, 0x03, "A00", "VKD7600A0027", None, "VD7600-EU")
    t.add(oem_strings, ["1[1F]", "13[VCC-D7600]"])
    t.add(boot_information)
    t.add(end_of_table)
    table = t.bytes()
    # The header: calling method byte, SMBIOS major and minor version, DMI revision, then the
    # table's length (32-bit little-endian).
    header = struct.pack("<BBBBI", 0, 3, 3, 0, len(table))
    return header + table


SAMPLES = [
    ("desktop.bin", desktop,
     "A typical desktop (types 0, 1, 2, 3, 4, 7, 9, 11, 16, 17, 19, 32, 127). The OEM "
     "strings carry both markers: \"1[0A47]\" and \"13[VCC-D7400]\".",
     (MAKER, "A47", "VCC-D7400", 1)),
    ("type208.bin", type208,
     "A notebook whose system identifier comes from the type-208 structure (byte 8 0x5B, "
     "byte 9 0x0A); its OEM strings hold only the \"13[\" marker.",
     (MAKER, "A5B", "VCC-N1320", 1)),
    ("no-markers.bin", no_markers,
     "A machine of another maker whose OEM strings hold no marker (only near misses such "
     "as \"1 [7]\"): both identifiers fall back.",
     ("Quarry Lane Systems", "0", "00000", 1)),
    ("registry-header.bin", registry_header,
     "A table preceded by the 8-byte header that some registry copies carry. The walk starts "
     "at byte 0: it takes the header for a type-0 structure of length 3 whose string area "
     "ends at the two zero high bytes of the length field, and so lands on the table's first "
     "structure at byte 8. That depends on the header's bytes: with the calling-method byte "
     "set, or a length of 256 bytes or less, the walk is cut short before the table and "
     "records the fall-backs (the host tests pin these cases).",
     (MAKER, "1F", "VCC-D7600", 1)),
]


def readme():
    lines = [
        "# Sample SMBIOS tables",
        "",
        "Raw structure tables as Windows hands them over (no entry point), generated by",
        "`make_samples.py`; do not edit the .bin files, change the script and rerun it.",
        "Every maker, product and string in them is invented.",
        "",
        "| File | What VeskInfo must record (manufacturer / system identifier / "
        "regulatory identifier / walk result) | Note |",
        "|---|---|---|",
    ]
    for name, _, note, (maker, system_id, regulatory, result) in SAMPLES:
        lines.append(f"| `{name}` | {maker} / {system_id} / {regulatory} / {result} | {note} |")
    return "\n".join(lines) + "\n"


def main(argv):
    out = Path(argv[1]) if len(argv) > 1 else Path(__file__).resolve().parent
    out.mkdir(parents=True, exist_ok=True)
    for name, build, _, _ in SAMPLES:
        (out / name).write_bytes(build())
    (out / "README.md").write_text(readme(), encoding="utf-8")


if __name__ == "__main__":
    main(sys.argv)
