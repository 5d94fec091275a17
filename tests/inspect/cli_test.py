#!/usr/bin/env python3
"""veskinfo-inspect as a user runs it: its input forms, its three outputs, its exit statuses and
its messages on bad input. VESK_INSPECT names the program, VESK_SOURCE_DIR the source tree.

    VESK_INSPECT=... VESK_SOURCE_DIR=... cli_test.py [-v] [TestClass]
"""

import json
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

INSPECT = os.environ.get("VESK_INSPECT", "veskinfo-inspect")
SAMPLES = Path(os.environ.get("VESK_SOURCE_DIR", ".")) / "samples"
DESKTOP = SAMPLES / "desktop.bin"
DESKTOP_VALUES = b"Vesk Computer Corporation\nA47\nVCC-D7400\n"

# A type-1 structure naming string 3 of its two, then OEM strings the walk never reaches.
CUT_SHORT = (bytes([0x01, 0x08, 0x00, 0x01, 0x03, 0x02, 0x03, 0x04]) + b"A\0B\0\0"
             + bytes([0x0B, 0x05, 0x01, 0x00, 0x01]) + b"1[2A]\0\0")


def system_table(strings, sku=5, family=6):
    """A type-1 structure of SMBIOS 2.4 (27 bytes) with `strings`, the SKU and family numbered."""
    formatted = bytes([0x01, 27, 0x00, 0x00, 1, 2, 3, 4]) + bytes(16) + bytes([6, sku, family])
    return formatted + b"\0".join(strings) + b"\0\0"


def long_table():
    """Type-1 strings and OEM values of 259 characters, the longest VeskInfo stores, of bytes
    that JSON writes as two or six characters."""
    texts = [bytes([0xE9]) * 259, b'"' * 259, b"\\" * 259, b"\x01" * 259, b"P" * 259,
             b"Q" * 259]
    return system_table(texts) + bytes([0x0B, 0x05, 0x01, 0x00, 0x02]) + b"1[" + b"\xe9" * 257 \
        + b"\0" + b"13[" + b"\x02" * 256 + b"\0\0"


def run(*args, stdin=b"", env=None):
    return subprocess.run([INSPECT, *map(str, args)], input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, env=env)


def reg_export(table, header="REGEDIT4", name="SMBiosData", kind="hex", per_line=25):
    """The text of a registry export of `table` as the registry editor writes it: the value's
    bytes as hex, wrapped onto indented continuation lines."""
    pairs = [f"{b:02x}" for b in table]
    rows = [",".join(pairs[i:i + per_line]) for i in range(0, len(pairs), per_line)]
    data = ",\\\r\n  ".join(rows)
    return (f"{header}\r\n\r\n"
            f"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data]\r\n"
            f"\"AcpiData\"=hex:00,01\r\n"
            f"\"{name}\"={kind}:{data}\r\n\r\n")


def utf16_export(table, **kwargs):
    """A "Windows Registry Editor Version 5.00" export, in UTF-16 with its byte order mark."""
    text = reg_export(table, header="Windows Registry Editor Version 5.00", **kwargs)
    return b"\xff\xfe" + text.encode("utf-16-le")


class Files(unittest.TestCase):
    """A scratch directory for the input files of one test."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def file(self, name, data):
        path = Path(self.dir.name) / name
        path.write_bytes(data if isinstance(data, bytes) else data.encode("latin-1"))
        return path

    def assert_values(self, done, values=DESKTOP_VALUES, status=0):
        self.assertEqual(done.returncode, status, done.stderr)
        self.assertEqual(done.stdout, values)


class InputForms(Files):
    def test_raw_file(self):
        self.assert_values(run(DESKTOP))
        self.assertEqual(run(DESKTOP).stderr, b"")

    def test_standard_input(self):
        self.assert_values(run("-", stdin=DESKTOP.read_bytes()))

    def test_regedit4_export(self):
        self.assert_values(run(self.file("table.reg", reg_export(DESKTOP.read_bytes()))))

    def test_utf16_export_with_typed_hex(self):
        export = utf16_export(DESKTOP.read_bytes(), kind="hex(3)")
        self.assert_values(run(self.file("table.reg", export)))

    def test_export_is_recognised_without_its_suffix(self):
        export = reg_export(DESKTOP.read_bytes(), name="smbiosdata")
        self.assert_values(run("-", stdin=export.encode("latin-1")))

    def test_export_keeps_a_registry_header_for_the_walk(self):
        table = (SAMPLES / "registry-header.bin").read_bytes()
        self.assert_values(run(self.file("copy.reg", utf16_export(table))),
                           b"Vesk Computer Corporation\n1F\nVCC-D7600\n")

    def test_machine_table(self):
        env = dict(os.environ, VESKINFO_DMI_TABLE=str(DESKTOP))
        self.assert_values(run(env=env))

    def test_machine_table_absent(self):
        missing = Path(self.dir.name) / "DMI"
        done = run(env=dict(os.environ, VESKINFO_DMI_TABLE=str(missing)))
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stdout, b"")
        self.assertEqual(done.stderr.decode(),
                         f"veskinfo-inspect: {missing}: not present: this machine exposes no "
                         "SMBIOS table there (name a table file)\n")

    def test_default_path_is_the_kernels_table(self):
        env = {k: v for k, v in os.environ.items() if k != "VESKINFO_DMI_TABLE"}
        done = run(env=env)
        path = Path("/sys/firmware/dmi/tables/DMI")
        if not path.exists():
            self.assertEqual(done.returncode, 2)
            self.assertEqual(done.stderr.decode(), f"veskinfo-inspect: {path}: not present: "
                             "this machine exposes no SMBIOS table there (name a table file)\n")
        elif not os.access(path, os.R_OK):
            self.assertEqual(done.returncode, 2)
            self.assertIn(b"DMI: permission denied: reading this machine's table needs root",
                          done.stderr)
        else:
            self.assertIn(done.returncode, (0, 1))
            self.assertEqual(len(done.stdout.split(b"\n")), 4)


class Outputs(Files):
    def test_values_are_the_stored_bytes(self):
        # A manufacturer with a byte from the upper half and trailing blanks stays as it is.
        table = (bytes([0x01, 0x05, 0x00, 0x00, 0x01]) + b"M\xe9ller AG  \0\0")
        self.assert_values(run("-", stdin=table), b"M\xe9ller AG  \n0\n00000\n")

    def test_explain(self):
        done = run("--explain", DESKTOP)
        self.assertEqual(done.returncode, 0)
        text = done.stdout.decode()
        self.assertTrue(text.startswith(DESKTOP_VALUES.decode() + "\n"))
        for line in ["Walk: completed (result 1)",
                     "Structures walked (17):",
                     "  0x0000     0      26  0x0000",
                     "  0x0274    11       5  0x000A",
                     "  0x03BC   127       4  0x0010",
                     'manufacturer "Vesk Computer Corporation": string 1 of the type-1 '
                     "structure at 0x003D",
                     'system identifier "A47": string 2 "1[0A47]" of the type-11 structure at '
                     '0x0274, text "0A47" read as hexadecimal',
                     'regulatory identifier "VCC-D7400": string 3 "13[VCC-D7400]" of the '
                     "type-11 structure at 0x0274",
                     "Anomalies: none"]:
            self.assertIn(line, text)

    def test_explain_names_fallbacks_unused_candidates_and_anomalies(self):
        table = (bytes([0x0B, 0x05, 0x01, 0x00, 0x03]) + b"13[OLD]\0" + b"13[R-1\0"
                 + b"x" * 130 + b"\0\0"
                 + bytes([0xD0, 0x0A, 0x02, 0x00, 0, 0, 0, 0, 0x2B, 0x05]) + b"\0\0"
                 + bytes([0x04, 0x05, 0x03, 0x00, 0x01]) + b"CPU")
        done = run("--explain", "-", stdin=table)
        self.assertEqual(done.returncode, 0, done.stderr)
        text = done.stdout.decode()
        for line in ['manufacturer "": none found: empty',
                     'system identifier "52B": bytes 8 and 9 of the type-208 structure at 0x0098',
                     'regulatory identifier "R-1": string 2 "13[R-1" of the type-11 structure',
                     'OEM "13[" value "OLD" from string 1 of the type-11 structure at 0x0000: '
                     "replaced by a later one",
                     'string 2 of the type-11 structure at 0x0000 has a marker without "]"',
                     "string 3 of the type-11 structure at 0x0000 has 128 characters or more",
                     "the type-4 structure at 0x00A4 has no closing zeros"]:
            self.assertIn(line, text)

    def test_json(self):
        done = run("--json", DESKTOP)
        self.assertEqual(done.returncode, 0)
        report = json.loads(done.stdout)
        self.assertEqual(report["input"], str(DESKTOP))
        self.assertEqual((report["result"], report["walk_completed"]), (1, True))
        self.assertEqual([report["manufacturer"], report["system_id"], report["regulatory_id"]],
                         ["Vesk Computer Corporation", "A47", "VCC-D7400"])
        self.assertEqual(report["values"]["system_id"],
                         {"text": "A47", "source": "oem-system-id", "offset": 0x274,
                          "string": 2, "candidate": "0A47"})
        self.assertEqual(report["values"]["regulatory_id"]["source"], "oem-regulatory-id")
        self.assertEqual(len(report["structures"]), 17)
        self.assertEqual(report["structures"][1],
                         {"offset": 0x3D, "type": 1, "length": 27, "handle": 1})
        self.assertEqual([s["text"] for s in report["oem_strings"]],
                         ["Vesk Desk platform 4", "1[0A47]", "13[VCC-D7400]", "Build 2023.11"])
        self.assertEqual(report["anomalies"], [])

    def test_json_keeps_every_byte(self):
        table = bytes([0x01, 0x05, 0x00, 0x00, 0x01]) + b'a"\\\x01\xff\0\0'
        report = json.loads(run("--json", "-", stdin=table).stdout)
        self.assertEqual(report["manufacturer"].encode("latin-1"), b'a"\\\x01\xff')

    def test_json_of_a_walk_cut_short(self):
        done = run("--json", "-", stdin=CUT_SHORT)
        self.assertEqual(done.returncode, 1)
        report = json.loads(done.stdout)
        self.assertEqual((report["result"], report["walk_completed"]), (0, False))
        self.assertEqual(report["anomalies"], [{"kind": "string-number-out-of-range",
                                                "offset": 0, "string": 3}])
        self.assertEqual(report["values"]["system_id"], {"text": "0", "source": "fallback"})


class ExitStatus(Files):
    def test_completed_walk(self):
        self.assertEqual(run(SAMPLES / "no-markers.bin").returncode, 0)

    def test_walk_cut_short_still_prints_the_values(self):
        path = self.file("cut.bin", CUT_SHORT)
        done = run(path)
        self.assert_values(done, b"\n0\n00000\n", status=1)
        self.assertEqual(done.stderr.decode(),
                         f"veskinfo-inspect: {path}: the walk was cut short: the type-1 "
                         "structure at 0x0000 names manufacturer string 3, beyond its strings: "
                         "the walk stops\n")

    def test_truncated_table(self):
        done = run("-", stdin=DESKTOP.read_bytes()[:0x280])
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"standard input: the walk was cut short: the type-11 structure at 0x0274 "
                      b"needs bytes beyond the end of the table", done.stderr)

    def test_help(self):
        done = run("--help")
        self.assertEqual(done.returncode, 0)
        self.assertTrue(done.stdout.startswith(b"Usage: veskinfo-inspect [OPTIONS] [INPUT...]\n"))


class BadInput(Files):
    def assert_rejected(self, done, message):
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stdout, b"")
        self.assertEqual(done.stderr.decode(), f"veskinfo-inspect: {message}\n")

    def test_missing_file(self):
        path = Path(self.dir.name) / "absent.bin"
        self.assert_rejected(run(path), f"{path}: cannot open: No such file or directory")

    def test_empty_file(self):
        path = self.file("empty.bin", b"")
        self.assert_rejected(run(path), f"{path}: is empty: no table to walk")

    def test_empty_standard_input(self):
        self.assert_rejected(run("-"), "standard input: is empty: no table to walk")

    def test_empty_directory(self):
        done = run(self.dir.name)
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stdout.decode().splitlines()[1:],
                         [f"{self.dir.name}\t\tunreadable\t\t\t\t\t\t\tholds no files"])

    def test_garbage_reg(self):
        path = self.file("garbage.reg", b"\x00\x17 this is no export \xff\n")
        self.assert_rejected(run(path), f'{path}: not a registry export (no "REGEDIT4" or '
                             '"Windows Registry Editor Version 5.00" first line)')

    def test_reg_without_the_value(self):
        path = self.file("other.reg", reg_export(b"\x01\x02", name="AcpiData2"))
        self.assert_rejected(run(path), f'{path}: no "SMBiosData" value in the registry export')

    def test_reg_with_a_bad_byte(self):
        text = reg_export(b"\x01\x02\x03").replace("02", "0g")
        path = self.file("bad.reg", text)
        self.assert_rejected(run(path), f'{path}: bad byte "0g" in "SMBiosData" (line 5)')

    def test_reg_with_an_empty_value(self):
        path = self.file("empty.reg", reg_export(b""))
        self.assert_rejected(run(path), f'{path}: "SMBiosData" is empty (line 5)')

    def test_reg_with_a_text_value(self):
        path = self.file("text.reg", 'REGEDIT4\r\n"SMBiosData"="01,02"\r\n')
        self.assert_rejected(run(path), f'{path}: "SMBiosData" is not hex data (line 2)')

    def test_unknown_option(self):
        done = run("--verbose", DESKTOP)
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stderr, b"veskinfo-inspect: unknown option '--verbose' "
                                      b"(try 'veskinfo-inspect --help')\n")

    def test_options_that_need_this_machine_or_one_input(self):
        hint = " (try 'veskinfo-inspect --help')"
        cases = [
            (["--source", "firmware", DESKTOP],
             "--source firmware is this machine's own table: name no input" + hint),
            (["--save", "x.rsmb", DESKTOP, DESKTOP], "--save takes one input" + hint),
            (["--audit"], "--audit needs STORED.reg, an export of the stored values" + hint),
        ]
        for args, message in cases:
            with self.subTest(args[0]):
                self.assert_rejected(run(*args), message)



if __name__ == "__main__":
    unittest.main()
