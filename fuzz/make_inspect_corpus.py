#!/usr/bin/env python3
"""Writes the seed corpora of the inspector's fuzz targets: fuzz/corpus-input/ (raw tables,
dmidecode dumps of each entry-point kind, RSMB buffers, registry exports), fuzz/corpus-reg/
(exports of the "SMBiosData" value), fuzz/corpus-stored/ (exports of VeskInfo's key) and
fuzz/corpus-fleet/ (probe lines, detection exports as CSV and Graph pages, for the report: the
column namings, device states, time forms, shared UUIDs); with the path of the tests'
make_depot, also fuzz/corpus-hive/ (hives of an installed Windows, and hives left dirty with a
transaction log beside them, in hive_fuzz's layout of a pair).

    python3 fuzz/make_inspect_corpus.py [MAKE_DEPOT]
"""

import json
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "inspect"))
import dmidump  # noqa: E402

DESKTOP = (ROOT / "samples" / "desktop.bin").read_bytes()
SMALL = bytes([0x01, 0x05, 0x00, 0x00, 0x01]) + b"A\0\0" + bytes([0x7F, 0x04, 0x01, 0x00, 0, 0])
KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vesk Computer Corporation\\SysInfo"
WOW_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vesk Computer Corporation\\SysInfo"


def hex_lines(data, per_line=25):
    pairs = [f"{b:02x}" for b in data]
    return ",\\\r\n  ".join(",".join(pairs[i:i + per_line]) for i in range(0, len(pairs), per_line))


def export(lines, version=4):
    header = "REGEDIT4" if version == 4 else "Windows Registry Editor Version 5.00"
    text = "\r\n".join([header, ""] + lines) + "\r\n"
    return text.encode("cp1252") if version == 4 else b"\xff\xfe" + text.encode("utf-16-le")


def smbios_export(table, version=4, kind="hex"):
    return export(["[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data]",
                   f'"SMBiosData"={kind}:{hex_lines(table)}'], version)


def sysinfo(values, version=4, key=KEY, table=None):
    lines = [f"[{key}]"] + [f'"{name}"={data}' for name, data in values.items()]
    if table is not None:
        lines += ["", "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data]",
                  f'"SMBiosData"=hex:{hex_lines(table)}']
    return export(lines, version)


def input_seeds():
    broken = bytearray(dmidump.dump(SMALL, kind="2"))
    broken[4] ^= 1
    far = bytearray(dmidump.dump(SMALL, kind="3"))
    far[0x10:0x18] = (0xF0000).to_bytes(8, "little")
    return {
        "raw.bin": DESKTOP,
        "smbios3.dump": dmidump.dump(DESKTOP, kind="3"),
        "smbios2.dump": dmidump.dump(SMALL, kind="2"),
        "legacy.dump": dmidump.dump(SMALL, kind="legacy"),
        "bad-checksum.dump": bytes(broken),
        "address-outside.dump": bytes(far),
        "short-entry.dump": dmidump.dump(SMALL, kind="3")[:20],
        "table.rsmb": dmidump.rsmb(DESKTOP),
        "method1.rsmb": dmidump.rsmb(SMALL, major=2, minor=7, method=1),
        "header.reg": smbios_export(dmidump.rsmb(SMALL), 5),
    }


def reg_seeds():
    return {
        "regedit4.reg": smbios_export(SMALL),
        "utf16.reg": smbios_export(DESKTOP, 5, "hex(3)"),
        "no-value.reg": export(['"AcpiData"=hex:01,02']),
        "bad-byte.reg": export(['"SMBiosData"=hex:01,0g,\\', "  02"]),
    }


def stored_seeds():
    good = {"SystemIdHex": '"A47"', "RegulatoryID": '"VCC-D7400"',
            "System Manufacturer": '"Vesk \\"Computer\\" Corporation"'}
    return {
        "regedit4.reg": sysinfo(good),
        "utf16-wow.reg": sysinfo(good, 5, WOW_KEY, SMALL),
        "types.reg": sysinfo({"SystemIdHex": "dword:00000a47",
                              "RegulatoryID": "hex(1):41,00,00,00",
                              "System Manufacturer": "hex(2):41,00"}, 5),
        "other-key.reg": sysinfo(good, key="HKEY_LOCAL_MACHINE\\SOFTWARE\\Other"),
        "nonascii.reg": sysinfo({"System Manufacturer": '"M\u00fcller \u00c6"'}, 5),
    }


def probe(machine, status, system_id="A47", regulatory="VCC-D7400", unit=None, **more):
    values = {"manufacturer": "Vesk", "system_id": system_id, "regulatory_id": regulatory}
    return json.dumps({"probe": 1, "machine": machine, "status": status, "stored": values,
                       "expected": values, "source": "wmi", "tool": "1",
                       "model": {"manufacturer": "Vesk", "product": "D7400"},
                       **({"unit": unit} if unit else {}), **more}, separators=(",", ":"))


def csv_quoted(text):
    return '"' + text.replace('"', '""') + '"'


PLACEHOLDER = "03000200-0400-0500-0006-000700080009"
POLICY = ("File C:\\VeskInfo\\Detect-VeskInfo.ps1 cannot be loaded because running scripts is "
          "disabled on this system.")
JOB = ("DeviceId,DeviceName,UPN,DetectionStatus,RemediationStatus,"
       "PreRemediationDetectionScriptOutput,PreRemediationDetectionScriptError,"
       "PostRemediationDetectionScriptOutput,PostRemediationDetectionScriptError,ModifiedTime")


def run_state(device_id, name, pre, post=None, detection="success", remediation="skipped",
              error=None):
    return {"id": f"7f3c2b1a:{device_id}", "detectionState": detection,
            "lastStateUpdateDateTime": "2026-12-09T06:12:44.5133333Z",
            "preRemediationDetectionScriptOutput": pre, "preRemediationDetectionScriptError": error,
            "remediationState": remediation, "remediationScriptError": None,
            "postRemediationDetectionScriptOutput": post,
            "postRemediationDetectionScriptError": None,
            "managedDevice": {"id": device_id, "deviceName": name, "operatingSystem": "Windows",
                              "serialNumber": "VD7-1"}}


def fleet_seeds():
    lines = [probe("PC-1", "match"), probe("<b>", "differs", "0"), "WARNING: not a probe",
             probe("PC-3", "missing", regulatory="00000")]
    portal = "Device name,Pre-remediation detection output,Post-remediation detection output"
    graph = "deviceName,preRemediationDetectionScriptOutput,postRemediationDetectionScriptOutput"
    rows = [f"PC-1,{csv_quoted(lines[0])},",
            f'"PC,2",{csv_quoted(lines[1])},{csv_quoted(lines[3])}',
            "PC-3,,"]
    unit = {"serial": "S1", "uuid": "6F1A2C30-5D4E-4B8A-9C21-0E7F3D5A9B42"}
    shared = [probe("PC-4", "differs", unit={"serial": "S4", "uuid": PLACEHOLDER}),
              probe("PC-5", "match", unit={"serial": "S5", "uuid": PLACEHOLDER}),
              probe("PC-6", "match", unit={"serial": "S6", "uuid": "1" * 8 + "-1111-1111-1111-"
                                           + "1" * 12}),
              probe("PC-1", "error", error="veskinfo-inspect.exe wrote no line"),
              probe("PC-1", "match", unit=unit, time="2026-12-09T06:00:00+01:00"),
              probe("PC-7", "no-inspector", error="no veskinfo-inspect.exe in C:\\VeskInfo"),
              probe("PC-8", "match", unit=unit)]
    times = ["2026-12-09 06:00:00 +01:00", "09/12/2026 06:00", "12/9/2026, 6:00:00 AM",
             "13/12/2026 18:00", "2/30/2026 1:00 AM", "2026-12-09T08:15:00.1234567Z"]
    job = [f"d{i},PC-{i},,fail,{state},{csv_quoted(probe(f'PC-{i}', 'differs', unit=unit))},,"
           f"{csv_quoted(probe(f'PC-{i}', 'match', unit=unit))},,{csv_quoted(at)}"
           for i, (state, at) in enumerate(zip(["success", "skipped", "remediationFailed",
                                                "scriptError", "unknown", ""], times))]
    job.append(f"d9,PC-9,,scriptError,unknown,,{csv_quoted(POLICY)},,,{times[1]}")
    return {
        "probes.txt": "\n".join(lines).encode() + b"\n",
        "portal.csv": b"\xef\xbb\xbf" + "\r\n".join([portal] + rows).encode(),
        "graph.csv": "\n".join([graph] + rows + ['PC-4,"open']).encode(),
        "utf16.csv": "\r\n".join([portal] + rows).encode("utf-16"),
        "page.json": b"\xfe\xff" + json.dumps({"value": [
            {"lastStateUpdateDateTime": "2026-12-09T08:15:00Z",
             "postRemediationDetectionScriptOutput": lines[0],
             "managedDevice": {"deviceName": "PC-1"}},
            {"preRemediationDetectionScriptOutput": lines[1], "managedDevice": None}, 7],
            "@odata.nextLink": "https://x/2"}).encode("utf-16-be"),
        "unit.txt": (probe("PC-5", "match")[:-1] + ',"unit":{"serial":"S","uuid":"U"}}\n'
                     + probe("PC-5", "match")[:40]).encode(),
        "shared.txt": "\n".join(shared).encode() + b"\n",
        "job.csv": "\r\n".join([JOB] + job).encode() + b"\r\n",
        "states.json": json.dumps({
            "@odata.context": "https://graph.microsoft.com/beta/$metadata#deviceRunStates",
            "value": [run_state("a1", "PC-1", probe("PC-1", "differs", unit=unit),
                                probe("PC-1", "match", unit=unit), "fail", "success"),
                      run_state("a2", "PC-2", probe("PC-2", "match"), probe("PC-2", "differs")),
                      run_state("a3", "PC-3", None, None, "scriptError", "unknown", POLICY)],
            "@odata.nextLink": "https://graph.microsoft.com/beta/x?$skiptoken=Mg"}).encode(),
    }


def pair(hive, log, flags=0):
    """hive_fuzz's layout: the flags, the hive's length in 16-byte units, the hive, the log."""
    return bytes([flags]) + struct.pack("<H", len(hive) // 16) + hive + log


def hive_seeds(make_depot):
    with tempfile.TemporaryDirectory() as scratch:
        def depot(name, *extra):
            windows = Path(scratch) / name
            subprocess.run([make_depot, windows, ROOT / "samples" / "desktop.bin",
                            "Vesk Computer Corporation", "A47", "VCC-D7400", "DEPOT-PC",
                            *map(str, extra)], check=True)
            return windows / "System32" / "config"
        clean, dirty, old = depot("clean"), depot("dirty", 0, 0), depot("old", 0, 0, "old")
        primary = (dirty / "SOFTWARE").read_bytes()
        log1 = (dirty / "SOFTWARE.LOG1").read_bytes()
        harmed = bytearray(primary)
        harmed[100] ^= 1
        return {
            "software-64.hive": (clean / "SOFTWARE").read_bytes(),
            "system-hardware.hive": (clean / "SYSTEM").read_bytes(),
            "pair-new-log1.bin": pair(primary, log1),
            "pair-new-both-logs.bin": pair(primary, log1, flags=2),
            "pair-damaged-hive.bin": pair(bytes(harmed), log1),
            "pair-old-log.bin": pair((old / "SOFTWARE").read_bytes(),
                                     (old / "SOFTWARE.LOG").read_bytes(), flags=1),
        }


def main():
    folders = [("corpus-input", input_seeds()), ("corpus-reg", reg_seeds()),
               ("corpus-stored", stored_seeds()), ("corpus-fleet", fleet_seeds())]
    if len(sys.argv) > 1:
        folders.append(("corpus-hive", hive_seeds(sys.argv[1])))
    for folder, seeds in folders:
        path = ROOT / "fuzz" / folder
        if folder != "corpus-hive":  # it keeps system.hive, an earlier make_depot's
            shutil.rmtree(path, ignore_errors=True)
        path.mkdir(exist_ok=True)
        for name, data in seeds.items():
            (path / name).write_bytes(data)
        print(f"{folder}: {len(seeds)} seeds")


if __name__ == "__main__":
    main()
