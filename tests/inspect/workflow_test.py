#!/usr/bin/env python3
"""veskinfo-inspect for support and the factory line: the firmware dump formats people have, the
audit of stored values against a table, and batches of inputs. VESK_INSPECT names the program,
VESK_SOURCE_DIR the source tree.

    VESK_INSPECT=... VESK_SOURCE_DIR=... workflow_test.py [-v] [TestClass]
"""

import json
import os
import pty
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import dmidump  # noqa: E402
from cli_test import (CUT_SHORT, DESKTOP, INSPECT, SAMPLES, Files, long_table,  # noqa: E402
                      reg_export, run, system_table, utf16_export)

DESKTOP_TABLE = DESKTOP.read_bytes()
MAKER, SYSTEM_ID, REGULATORY = "Vesk Computer Corporation", "A47", "VCC-D7400"
KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vesk Computer Corporation\\SysInfo"
WOW_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vesk Computer Corporation\\SysInfo"
# A header whose calling-method byte is set: the registry fall-back's walk of it is cut short.
CALLING_METHOD_HEADER = dict(method=1)


def with_checksums_broken(data, *offsets):
    """`data` with 1 added to the byte at each offset (a negative offset: 1 taken away)."""
    data = bytearray(data)
    for offset in offsets:
        data[abs(offset)] = (data[abs(offset)] + (1 if offset >= 0 else -1)) & 0xFF
    return bytes(data)


def sysinfo_export(values, version=4, key=KEY, table=None, code_page="cp1252"):
    """An export of VeskInfo's key as the registry editor writes it: version 4 in the machine's
    code page, version 5 in UTF-16. `values` maps value names to texts (or to raw data lines)."""
    header = "REGEDIT4" if version == 4 else "Windows Registry Editor Version 5.00"
    lines = [header, "", f"[{key}]"]
    for name, text in values.items():
        if text.startswith("hex") or text.startswith("dword:"):
            lines.append(f'"{name}"={text}')
        else:
            escaped = text.replace("\\", "\\\\").replace('"', '\\"')
            lines.append(f'"{name}"="{escaped}"')
    text = "\r\n".join(lines) + "\r\n\r\n"
    if table is not None:
        text += reg_export(table, header="")[2:]
    if version == 4:
        return text.encode(code_page)
    return b"\xff\xfe" + text.encode("utf-16-le")


def stored(maker=MAKER, system_id=SYSTEM_ID, regulatory=REGULATORY):
    values = {"SystemIdHex": system_id, "RegulatoryID": regulatory, "System Manufacturer": maker}
    return {k: v for k, v in values.items() if v is not None}


class DumpFormats(Files):
    def dmidecode_accepts(self, path):
        if shutil.which("dmidecode") is None:
            return
        done = subprocess.run(["dmidecode", "--from-dump", str(path), "-t", "1"],
                              capture_output=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(f"Manufacturer: {MAKER}".encode(), done.stdout)

    def test_every_format_gives_what_veskinfo_records(self):
        table_with_header = dmidump.rsmb(DESKTOP_TABLE)
        cases = [("raw", "table.bin", DESKTOP_TABLE, 0),
                 ("dmidecode-dump", "smbios3.dump", dmidump.dump(DESKTOP_TABLE, kind="3"), 32),
                 ("dmidecode-dump", "smbios2.dump", dmidump.dump(DESKTOP_TABLE, kind="2"), 32),
                 ("dmidecode-dump", "legacy.dump", dmidump.dump(DESKTOP_TABLE, kind="legacy"),
                  32),
                 ("rsmb", "table.rsmb", table_with_header, 8),
                 ("reg-export", "plain.reg", reg_export(DESKTOP_TABLE), 0),
                 ("reg-export", "header.reg", utf16_export(table_with_header), 8)]
        for fmt, name, data, offset in cases:
            with self.subTest(name):
                path = self.file(name, data)
                if fmt == "dmidecode-dump":
                    self.dmidecode_accepts(path)
                self.assert_values(run(path))
                report = json.loads(run("--json", path).stdout)
                self.assertEqual((report["format"], report["source"]), (fmt, "wmi"))
                self.assertEqual(report["notes"], [])
                self.assertEqual(report["structures"][0]["offset"], 0)
                explained = run("--explain", path).stdout.decode()
                self.assertIn(f"Format: {fmt}", explained)
                self.assertIn(f"bytes from offset {offset}, ", explained)

    def test_save_writes_the_table_walked_as_rsmb(self):
        """--save: an RSMB header (the input's own, its entry point's version, or 3.0) and the
        table; read back, the same values."""
        cases = [("raw", DESKTOP_TABLE, [], b"\0\x03\x00\x00"),
                 ("dump", dmidump.dump(DESKTOP_TABLE, kind="2"), [], b"\0\x02\x08\x00"),
                 ("rsmb", dmidump.rsmb(DESKTOP_TABLE, minor=4, revision=1) + b"tail", [],
                  b"\0\x03\x04\x01"),
                 ("reg, registry source", reg_export(DESKTOP_TABLE), ["--source", "registry"],
                  b"\0\x03\x00\x00")]
        for name, data, args, header in cases:
            with self.subTest(name):
                saved = Path(self.dir.name) / "saved.rsmb"
                self.assert_values(run("--save", saved, *args, self.file("input", data)),
                                   f"{MAKER}\n{SYSTEM_ID}\n{REGULATORY}\n".encode())
                written = saved.read_bytes()
                self.assertEqual(written[:4], header)
                self.assertEqual(written[8:], DESKTOP_TABLE)
                self.assert_values(run(saved), f"{MAKER}\n{SYSTEM_ID}\n{REGULATORY}\n".encode())
        done = run("--save", Path(self.dir.name) / "no" / "such.rsmb", DESKTOP)
        self.assertEqual((done.returncode, done.stdout), (2, b""))
        self.assertIn(b"such.rsmb: cannot create: No such file or directory", done.stderr)

    def test_wrong_checksums_are_said_and_the_table_still_walked(self):
        cases = [("3", [5], {"checksum_ok": False, "intermediate_checksum_ok": True}),
                 ("2", [4], {"checksum_ok": False, "intermediate_checksum_ok": True}),
                 ("2", [0x15, -4], {"checksum_ok": True, "intermediate_checksum_ok": False}),
                 ("legacy", [5], {"checksum_ok": False, "intermediate_checksum_ok": True})]
        for kind, offsets, flags in cases:
            with self.subTest(kind=kind, offsets=offsets):
                data = with_checksums_broken(dmidump.dump(DESKTOP_TABLE, kind=kind), *offsets)
                path = self.file("bad.dump", data)
                self.assert_values(run(path))
                report = json.loads(run("--json", path).stdout)
                ep = report["entry_point"]
                self.assertEqual({k: ep[k] for k in flags}, flags)
                self.assertEqual(ep["table_address"], 32)
                self.assertEqual(len(report["notes"]), 1)
                self.assertIn("checksum is wrong: the table is walked all the same",
                              report["notes"][0])

    def test_unusable_dumps_are_named_errors(self):
        good = dmidump.dump(DESKTOP_TABLE, kind="2")
        far = bytearray(good)
        far[0x18:0x1C] = (0xF0000).to_bytes(4, "little")
        cases = [("short3.dump", good[:0] + dmidump.dump(DESKTOP_TABLE)[:20],
                  'truncated entry point: "_SM3_" needs 24 bytes, the file has 20'),
                 ("short2.dump", good[:30],
                  'truncated entry point: "_SM_" needs 31 bytes, the file has 30'),
                 ("far.dump", bytes(far),
                  "table address 0xF0000 lies outside the file (994 bytes): not a dump with its "
                  "table inside")]
        for name, data, message in cases:
            with self.subTest(name):
                path = self.file(name, data)
                done = run(path)
                self.assertEqual((done.returncode, done.stdout), (2, b""))
                self.assertEqual(done.stderr.decode(), f"veskinfo-inspect: {path}: {message}\n")

    def test_a_short_smbios2_table_is_walked_as_far_as_it_goes(self):
        path = self.file("cut.dump", dmidump.dump(DESKTOP_TABLE, kind="2")[:32 + 0x280])
        done = run("--json", path)
        self.assertEqual(done.returncode, 1)
        self.assertIn("the entry point gives a table of 962 bytes, the file holds 640",
                      json.loads(done.stdout)["notes"][0])

    def test_both_sources_are_shown_when_they_walk_other_bytes(self):
        data = dmidump.rsmb(DESKTOP_TABLE, **CALLING_METHOD_HEADER)
        for name, contents in [("header.rsmb", data), ("header.reg", reg_export(data))]:
            with self.subTest(name):
                path = self.file(name, contents)
                report = json.loads(run("--json", path).stdout)
                self.assertTrue(report["sources_differ"])
                self.assertEqual(report["manufacturer"], MAKER)
                other = report["other_source"]
                self.assertEqual((other["source"], other["result"]), ("registry", 0))
                self.assertEqual([other["manufacturer"], other["system_id"],
                                  other["regulatory_id"]], ["", "0", "00000"])
                done = run("--source", "registry", path)
                self.assert_values(done, b"\n0\n00000\n", status=1)
                self.assertIn("With the wmi source (the table alone), VeskInfo records other "
                              "values", run("--explain", "--source", "registry", path)
                              .stdout.decode())

    def test_the_registry_sample_keeps_its_walk_through_the_header(self):
        path = SAMPLES / "registry-header.bin"
        report = json.loads(run("--json", path).stdout)
        self.assertEqual(report["format"], "rsmb")
        self.assertEqual(report["other_source"]["system_id"], report["system_id"])
        self.assertIn("records the same", run("--explain", path).stdout.decode())


class Audit(Files):
    def audit(self, export, *args, table=DESKTOP):
        path = self.file("stored.reg", export)
        return run("--audit", path, *args, *([table] if table else []))

    def test_values_against_a_table(self):
        match = "match"
        cases = [
            ("all three match", sysinfo_export(stored()), DESKTOP, 0, [match, match, match]),
            ("the 64-bit view, in UTF-16, with the table inside",
             sysinfo_export(stored(), 5, WOW_KEY, DESKTOP_TABLE), None, 0,
             [match, match, match]),
            ("another identifier", sysinfo_export(stored(system_id="B12")), DESKTOP, 3,
             [match, "differs: the firmware has changed since VeskInfo ran", match]),
            ("a value missing", sysinfo_export(stored(regulatory=None)), DESKTOP, 3,
             [match, match, "RegulatoryID: stored (none), expected \"VCC-D7400\": differs: this "
              "value is missing while the others are stored"]),
            ("every value missing", sysinfo_export({}), DESKTOP, 3,
             ["none of the three values is stored: VeskInfo has not run on this machine"] * 3),
            ("case changed", sysinfo_export(stored(maker=MAKER.upper())), DESKTOP, 3,
             ["differs only in case", match, match]),
            ("leading zeros", sysinfo_export(stored(system_id="0a47")), DESKTOP, 3,
             [match, "the same number written another way", match]),
            ("fall-back stored", sysinfo_export(stored(regulatory="00000")), DESKTOP, 3,
             [match, match, "the stored value is the fall-back"]),
            ("a DWORD", sysinfo_export(stored(system_id="dword:00000a47")), DESKTOP, 3,
             [match, "stored as a DWORD, not as text (REG_SZ): not written by VeskInfo", match]),
            ("text as hex(1) in UTF-16",
             sysinfo_export(stored(system_id="hex(1):41,00,34,00,37,00,00,00"), 5), DESKTOP, 0,
             [match, match, match]),
        ]
        for name, export, table, status, expected in cases:
            with self.subTest(name):
                done = self.audit(export, table=table)
                self.assertEqual(done.returncode, status, done.stderr)
                lines = done.stdout.decode().splitlines()
                self.assertEqual([line.split(":")[0] for line in lines],
                                 ["System Manufacturer", "SystemIdHex", "RegulatoryID"])
                for line, fragment in zip(lines, expected):
                    self.assertIn(fragment, line)

    def test_code_page_of_a_utf16_export(self):
        table = bytes([0x01, 0x05, 0x00, 0x00, 0x01]) + "Завод".encode("cp1251") + b"\0\0"
        path = self.file("table.bin", table)
        export = sysinfo_export(stored(maker="Завод", system_id="0", regulatory="00000"), 5)
        done = self.audit(export, "--code-page", "1251", table=path)
        self.assertEqual(done.returncode, 0, done.stdout)
        done = self.audit(export, table=path)
        self.assertEqual(done.returncode, 3)
        self.assertIn("cannot represent (the machine's code page may be another: --code-page)",
                      done.stdout.decode("latin-1").splitlines()[0])
        ansi = sysinfo_export(stored(maker="Müller", system_id="0", regulatory="00000"))
        table = bytes([0x01, 0x05, 0x00, 0x00, 0x01]) + "Müller".encode("cp1252") + b"\0\0"
        self.assertEqual(self.audit(ansi, table=self.file("m.bin", table)).returncode, 0)

    def test_stored_from_the_registry_fallback(self):
        data = dmidump.rsmb(DESKTOP_TABLE, **CALLING_METHOD_HEADER)
        export = sysinfo_export(stored(maker="", system_id="0", regulatory="00000"))
        done = self.audit(export, table=self.file("t.rsmb", data))
        self.assertEqual(done.returncode, 3)
        self.assertIn("what VeskInfo records when WMI fails and it walks the registry copy",
                      done.stdout.decode())
        done = self.audit(export, "--source", "registry", table=self.file("t.rsmb", data))
        self.assertEqual(done.returncode, 1)  # all match; the walk was cut short

    def test_json(self):
        done = self.audit(sysinfo_export(stored(system_id="B12")), "--json")
        self.assertEqual(done.returncode, 3)
        report = json.loads(done.stdout)
        self.assertEqual((report["key"], report["all_match"]), (KEY, False))
        self.assertEqual(report["values"][1]["stored"], "B12")
        self.assertEqual(report["values"][1]["expected"], "A47")
        self.assertEqual(report["table"]["format"], "raw")

    def test_errors(self):
        other_key = sysinfo_export(stored(), key="HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\SysInfo")
        cases = [
            (other_key, [], DESKTOP, "stored.reg: not an export of " + KEY
             + " (nor of its WOW6432Node copy)"),
            (sysinfo_export(stored()), ["--code-page", "99999"], DESKTOP,
             'stored.reg: this system cannot convert into code page 99999 (no "CP99999" '
             "converter; see --code-page)"),
            (sysinfo_export(stored()), [], None,
             'stored.reg: no "SMBiosData" value in the registry export: name the TABLE to '
             "compare with"),
        ]
        for export, args, table, message in cases:
            with self.subTest(message):
                done = self.audit(export, *args, table=table)
                self.assertEqual((done.returncode, done.stdout), (2, b""))
                self.assertEqual(done.stderr.decode(),
                                 f"veskinfo-inspect: {self.dir.name}/{message}\n")


class Probe(Files):
    """--audit --probe: one line of JSON within 2,046 bytes, its status and its exit status."""

    def probe(self, export, table, *args):
        done = run("--audit", "--probe", self.file("stored.reg", export), *args,
                   *([table] if table else []))
        self.assertEqual((done.stdout.count(b"\n"), done.stdout[-1:]), (1, b"\n"), done.stdout)
        self.assertLessEqual(len(done.stdout) - 1, 2046)
        return done.returncode, json.loads(done.stdout)

    def test_sample_tables_and_their_exports(self):
        for sample in sorted(SAMPLES.glob("*.bin")):
            values = run(sample).stdout.decode("latin-1").split("\n")[:3]
            export = sysinfo_export(stored(*values))
            for table in (sample, self.file(sample.stem + ".reg", reg_export(sample.read_bytes()))):
                with self.subTest(table.name):
                    status, line = self.probe(export, table)
                    self.assertEqual((status, line["status"], line["machine"], line["source"],
                                      line["model"]["manufacturer"], list(line["stored"].values())),
                                     (0, "match", str(table), "wmi", values[0] or None, values))
                    self.assertEqual(line["expected"], line["stored"])

    def test_statuses(self):
        all_three = [MAKER, SYSTEM_ID, REGULATORY]
        cases = [  # name, export, table, status, exit status, stored values
            ("as stored", sysinfo_export(stored()), DESKTOP, "match", 0, all_three),
            ("one changed", sysinfo_export(stored(system_id="B12")), DESKTOP, "differs", 1,
             [MAKER, "B12", REGULATORY]),
            ("a DWORD", sysinfo_export(stored(system_id="dword:00000a47")), DESKTOP, "differs",
             1, [MAKER, None, REGULATORY]),
            ("one deleted", sysinfo_export(stored(regulatory=None)), DESKTOP, "missing", 1,
             [MAKER, SYSTEM_ID, None]),
            ("none stored", sysinfo_export({}), DESKTOP, "not-run", 1, [None] * 3),
            ("the export's own table", sysinfo_export(stored(), table=DESKTOP_TABLE), None,
             "match", 0, all_three),
            ("no table", sysinfo_export(stored()), None, "error", 2, [None] * 3),
            ("no export", b"not an export\r\n", DESKTOP, "error", 2, [None] * 3),
        ]
        for name, export, table, status, code, values in cases:
            exit_status, line = self.probe(export, table)
            self.assertEqual((exit_status, line["status"], list(line["stored"].values()),
                              "error" in line), (code, status, values, status == "error"), name)

    def test_model(self):
        strings, model = [b"Maker", b"Model 7", b"1.0", b"S1", b"SKU-9", b"Family X"], \
            {"manufacturer": "Maker", "product": "Model 7"}
        cases = [  # name, table, model
            ("SMBIOS 2.4", system_table(strings), dict(model, family="Family X", sku="SKU-9")),
            ("no family or SKU string", system_table(strings, sku=0, family=0), model),
            ("SMBIOS 2.0: no such bytes", bytes([0x01, 0x08, 0x00, 0x00, 1, 0, 0, 0]) + b"M\0\0",
             {"manufacturer": "M", "product": None}),
            ("no type-1 structure", bytes([0x0B, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00]), None),
        ]
        for name, table, expected in cases:
            line = self.probe(sysinfo_export({}), self.file("t.bin", table))[1]
            self.assertEqual((line["model"], line["unit"] is None), (expected, expected is None))

    def test_unit(self):
        """The type-1 serial and UUID, in the byte order of the stated version, as dmidecode."""
        order = bytes.fromhex("00112233445566778899AABBCCDDEEFF")
        le, be = "33221100-5544-7766-8899-AABBCCDDEEFF", "00112233-4455-6677-8899-AABBCCDDEEFF"

        def table(uuid=order, serial=4):  # string 4 of a 2.4 type-1 structure is "SN-1"
            plain = system_table([b"M", b"P", b"1.0", b"SN-1", b"SKU", b"F"])
            return plain[:7] + bytes([serial]) + uuid + plain[24:]
        t, dump = table(), dmidump.dump
        cases = [  # name, file, serial, uuid
            ("raw: no version", t, "SN-1", le),
            ("2.8 entry point", dump(t, kind="2", major=2, minor=8), "SN-1", le),
            ("2.5 entry point", dump(t, kind="2", major=2, minor=5), "SN-1", be),
            ("legacy 2.0 entry point", dump(t, kind="legacy"), "SN-1", be),
            ("RSMB header 2.4", dmidump.rsmb(t, 2, 4), "SN-1", be),
            ("all zero", table(bytes(16)), "SN-1", None),
            ("all FF", table(b"\xff" * 16), "SN-1", None),
            ("no serial string", table(serial=0), None, le),
            ("SMBIOS 2.0: no UUID", bytes([1, 8, 0, 0, 1, 0, 0, 2]) + b"M\0S\0\0", "S", None),
        ]
        for name, data, serial, uuid in cases:
            path = self.file("t.bin", data)
            line = self.probe(sysinfo_export({}), path)[1]
            self.assertEqual((list(line)[-3:], line["unit"]),
                             (["model", "unit", "tool"], {"serial": serial, "uuid": uuid}), name)
            if "entry point" in name and shutil.which("dmidecode"):
                done = subprocess.run(["dmidecode", "--from-dump", str(path), "-s", "system-uuid"],
                                      capture_output=True, text=True)
                self.assertEqual(done.stdout.strip().upper(), uuid, name)

    def test_long_texts_are_cut_within_the_line(self):
        table = self.file("long.bin", long_table())
        export = sysinfo_export({"System Manufacturer": "\u00e9" * 259,
                                 "SystemIdHex": '"' * 259, "RegulatoryID": "\\" * 259})
        status, line = self.probe(export, table)
        self.assertEqual((status, line["status"], line["machine"]), (1, "differs", str(table)))
        self.assertEqual(line["unit"]["uuid"], None)
        for text in [*line["stored"].values(), *line["expected"].values(), *line["model"].values(),
                     line["unit"]["serial"]]:
            self.assertTrue(text.endswith("\u2026"), text)
            self.assertIn(text[0], "\u00e9\"\\\x01\x02PQ")
            self.assertEqual(set(text[:-1]), {text[0]})

    def test_usage_errors_print_no_line(self):
        export = self.file("stored.reg", sysinfo_export(stored()))
        for args in (["--probe", export, DESKTOP], ["--audit", "--probe", "--json", export],
                     ["--audit", "--probe", export, DESKTOP, DESKTOP]):
            self.assertEqual((run(*args).returncode, run(*args).stdout), (2, b""), args)


class Batch(Files):
    def batch_dir(self):
        """A folder of tables: two good ones, one in a subfolder, and one cut short."""
        folder = Path(self.dir.name) / "tables"
        (folder / "sub").mkdir(parents=True)
        (folder / "b.dump").write_bytes(dmidump.dump(DESKTOP_TABLE))
        (folder / "a.bin").write_bytes((SAMPLES / "type208.bin").read_bytes())
        (folder / "sub" / "c.reg").write_bytes(reg_export(CUT_SHORT).encode())
        return folder

    def test_files_a_directory_and_an_unreadable_file(self):
        folder = self.batch_dir()
        odd = self.file("odd.bin", bytes([0x01, 0x05, 0x00, 0x00, 0x01]) + b"A\tB\\\n\x01\0\0")
        missing = Path(self.dir.name) / "missing.bin"
        done = run(odd, folder, missing)
        self.assertEqual(done.returncode, 2)
        rows = [line.split("\t") for line in done.stdout.decode().splitlines()]
        self.assertEqual(rows[0], ["input", "format", "status", "manufacturer", "system_id",
                                   "regulatory_id", "manufacturer_source", "system_id_source",
                                   "regulatory_id_source", "message"])
        self.assertEqual(rows[1], [str(odd), "raw", "completed", "A\\tB\\\\\\n\\x01", "0",
                                   "00000", "manufacturer-string", "fallback", "fallback", ""])
        self.assertEqual([r[0] for r in rows[2:]],
                         [f"{folder}/a.bin", f"{folder}/b.dump", f"{folder}/sub/c.reg",
                          str(missing)])
        self.assertEqual(rows[2][1:6], ["raw", "completed", MAKER, "A5B", "VCC-N1320"])
        self.assertEqual(rows[3][1:9], ["dmidecode-dump", "completed", MAKER, SYSTEM_ID,
                                        REGULATORY, "manufacturer-string", "oem-system-id",
                                        "oem-regulatory-id"])
        self.assertEqual(rows[4][1:3], ["reg-export", "cut-short"])
        self.assertIn("names manufacturer string 3", rows[4][9])
        self.assertEqual(rows[5][1:3] + rows[5][9:], ["", "unreadable",
                                                       "cannot open: No such file or directory"])
        self.assertEqual(done.stderr.decode(),
                         "veskinfo-inspect: 5 inputs: 3 completed, 1 cut short, 1 unreadable; "
                         "manufacturer: 3 manufacturer-string, 1 fallback; system_id: "
                         "1 oem-system-id, 1 type-208, 2 fallback; regulatory_id: "
                         "2 oem-regulatory-id, 2 fallback\n")

    def test_json_lines(self):
        folder = self.batch_dir()
        done = run("--json", folder, Path(self.dir.name) / "missing.bin")
        self.assertEqual(done.returncode, 2)
        records = [json.loads(line) for line in done.stdout.decode().splitlines()]
        self.assertEqual([r["input"] for r in records[:3]],
                         [f"{folder}/a.bin", f"{folder}/b.dump", f"{folder}/sub/c.reg"])
        self.assertEqual(records[1]["system_id"], SYSTEM_ID)
        self.assertEqual(records[1]["values"]["system_id"]["source"], "oem-system-id")
        self.assertEqual(records[2]["result"], 0)
        self.assertEqual(records[2]["status"], "cut-short")
        self.assertEqual(records[2]["anomalies"][0]["kind"], "string-number-out-of-range")
        # A record holds the values, not the structure list of a single input's report.
        self.assertEqual(set(records[1]), {"input", "format", "source", "status", "result",
                                           "walk_completed", "manufacturer", "system_id",
                                           "regulatory_id", "values", "anomalies"})
        self.assertEqual(set(records[3]), {"input", "format", "error"})

    def test_worst_status_without_unreadable_inputs(self):
        self.assertEqual(run(DESKTOP, self.file("cut.bin", CUT_SHORT)).returncode, 1)
        self.assertEqual(run(DESKTOP, DESKTOP).returncode, 0)

    def on_a_terminal(self, count):
        """What a batch of `count` tables writes to standard error when that is a terminal."""
        folder = Path(self.dir.name) / str(count)
        folder.mkdir()
        for i in range(count):
            (folder / f"{i:03d}.bin").write_bytes(bytes([0x7F, 0x04, 0x00, 0x00, 0, 0]))
        master, slave = pty.openpty()
        subprocess.run([INSPECT, folder], stdout=subprocess.DEVNULL, stderr=slave, check=False)
        os.close(slave)
        seen = b""
        try:
            while chunk := os.read(master, 4096):
                seen += chunk
        except OSError:  # the terminal's other end is closed
            pass
        os.close(master)
        return seen

    def test_progress_on_a_terminal_above_a_hundred_inputs(self):
        seen = self.on_a_terminal(101)
        self.assertIn(b"\rveskinfo-inspect: 101/101", seen)
        self.assertIn(b"veskinfo-inspect: 101 inputs: 101 completed", seen)
        self.assertNotIn(b"\rveskinfo-inspect: 100/", self.on_a_terminal(100))

    def test_field(self):
        for field, value in [("manufacturer", MAKER), ("system-id", SYSTEM_ID),
                             ("regulatory-id", REGULATORY)]:
            with self.subTest(field):
                self.assert_values(run("--field", field, DESKTOP), f"{value}\n".encode())
                done = run("--field", field, DESKTOP, SAMPLES / "no-markers.bin")
                fallback = {"manufacturer": "Quarry Lane Systems", "system-id": "0",
                            "regulatory-id": "00000"}[field]
                self.assertEqual(done.stdout.decode(), f"input\t{field}\n{DESKTOP}\t{value}\n"
                                 f"{SAMPLES / 'no-markers.bin'}\t{fallback}\n")
        self.assertEqual(run("--field", "serial", DESKTOP).returncode, 2)


class Depot(Files):
    """An installed Windows audited from its hives (written by make_depot, VESK_MAKE_DEPOT) against
    the board now in the machine ($VESKINFO_DMI_TABLE): the view's verdict, the exit status, the
    probe's machine name and board; a SOFTWARE hive whose last changes are only in its logs; the
    hive readers' own cases are in HiveTest and HiveLogTest."""

    def windows(self, *extra):
        windows = Path(self.dir.name) / "disk" / "Windows"
        subprocess.run([os.environ["VESK_MAKE_DEPOT"], windows, DESKTOP, MAKER, SYSTEM_ID,
                        REGULATORY, "PC-0042", *map(str, extra)], check=True)
        return windows

    def audit(self, now, *args):
        done = run("--audit", *args, env=dict(os.environ, VESKINFO_DMI_TABLE=str(now)))
        return done, (done.stdout or done.stderr).decode()

    def test_verdicts(self):
        registry_header = SAMPLES / "registry-header.bin"  # the board "1F", "VCC-D7600"
        windows = self.windows()
        # The board now, options, exit status, what is named instead of Windows, what is said.
        cases = [
            (DESKTOP, ["--explain"], 0, ".", "match: the installation carries this board's"),
            (DESKTOP, ["--explain"], 0, "..", "match: the installation carries this board's"),
            (registry_header, ["--explain"], 3, ".", "other-board: the installation last started "
             "on Vesk Computer Corporation Vesk Desk 7400 (UUID 049E1C5A-B372-0E4D-9F11-"),
            (registry_header, ["--probe"], 1, ".", '"machine":"PC-0042","status":"differs"'),
            (DESKTOP, [], 0, ".", 'RegulatoryID: stored "VCC-D7400", expected "VCC-D7400"'),
            (DESKTOP, [], 2, "System32", "no System32/config folder"),
        ]
        for now, options, status, folder, said in cases:
            with self.subTest(now=now.name, options=options, folder=folder):
                done, out = self.audit(now, *options, (windows / folder).resolve())
                self.assertEqual(done.returncode, status, done.stderr)
                lines = out.splitlines()
                last = lines[-1] if "--explain" not in options else next(
                    line for line in lines if line.startswith("Verdict: "))
                self.assertIn(said, last)
                if "--explain" in options:
                    self.assertIn(f", key {WOW_KEY}\n", out)

    def test_last_changes_only_in_the_logs(self):
        windows = self.windows(0, 1)  # SOFTWARE dirty, VeskInfo's values in its two logs
        config = windows / "System32" / "config"
        files = sorted(config.iterdir())
        before = [(f.read_bytes(), f.stat().st_mtime_ns) for f in files]
        done, out = self.audit(DESKTOP, "--json", windows)
        self.assertEqual(done.returncode, 0, done.stderr)
        depot = json.loads(out)["depot"]
        self.assertEqual(depot["hives"][0], {
            "path": str(config / "SOFTWARE"), "state": "recovered", "log_entries": 2,
            "sequence": depot["hives"][0]["sequence"], "reason": None})
        self.assertEqual((depot["verdict"], depot["boards"][0]["this_board"]), ("match", True))
        self.assertEqual([(f.read_bytes(), f.stat().st_mtime_ns) for f in files], before)
        for log in ("SOFTWARE.LOG1", "SOFTWARE.LOG2"):
            (config / log).unlink()
        # Read as it is, the hive holds none of VeskInfo's values: the audit cannot tell.
        for options, said in [(["--json"], '"verdict": "unsure"'),
                              (["--explain"], "Verdict: unsure: the SOFTWARE hive is dirty"),
                              ([], "Note: the SOFTWARE hive is dirty (sequence"),
                              (["--probe"], '"status":"error","error":"the SOFTWARE hive is')]:
            with self.subTest(options=options):
                done, out = self.audit(DESKTOP, *options, windows)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertIn(said, out)
                self.assertIn("no SOFTWARE.LOG1 or SOFTWARE.LOG2 beside it", out)

    def test_board_named_as_windows_reads_its_uuid(self):
        # An SMBIOS 2.4 table: the probe's UUID keeps the bytes in order, HardwareConfig names
        # the board as a GUID; the bytes are the same board's.
        windows = self.windows()
        table = self.file("board-2.4.rsmb", dmidump.rsmb(DESKTOP_TABLE, major=2, minor=4))
        done, out = self.audit(DESKTOP, "--json", windows, table)
        self.assertEqual(json.loads(out)["depot"]["boards"][0]["this_board"], True)
        done, out = self.audit(DESKTOP, "--probe", windows, table)
        self.assertIn('"unit":{"serial":"VKD7400A0193","uuid":"5A1C9E04-72B3-4D0E-9F11-C3A0D6E4B8'
                      '7F"},"last_board":{"uuid":"049E1C5A-B372-0E4D-9F11-C3A0D6E4B87F","last_use'
                      '":"2026-12-01T08:15:00Z"}', out)

    def test_fleet_report_reads_depot_lines(self):
        depot = self.audit(DESKTOP, "--probe", self.windows())[1]
        reg = self.file("stored.reg", sysinfo_export(stored()))
        other = run("--audit", "--probe", reg, SAMPLES / "registry-header.bin").stdout.decode()
        self.assertIn('"last_board":{', depot)
        self.assertNotIn('"last_board"', other)
        done = run("--report", "-", self.file("probes.txt", depot + other))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("Machines: 2\n", done.stdout.decode())
        self.assertIn("Lines refused: 0\n", done.stdout.decode())


if __name__ == "__main__":
    unittest.main()
