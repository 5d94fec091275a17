#!/usr/bin/env python3
"""Writes COUNT records (default 100,000) as a fleet sends them back, for timing
`veskinfo-inspect --report`: 40 models, nearly every machine matching, a few of every other
status, and a model whose regulatory identifier differs between its machines. 18 % of the
records repeat a machine read before (as a folder of daily exports does); most machines carry a
UUID, some only a serial number, a few neither (they are known by name).

OUT ending in .txt: one file of probe lines; with --days D, COUNT machines each sending one
line a day for D days (their statuses drawn anew each day), as a collector's daily files
joined end to end: `--days 10` over 1,000,000 machines is 10,000,000 lines, about 4.8 GB, written
as it goes. Otherwise OUT is a folder holding the same records
spread over files of probe lines, Graph pages of a remediation's runs (managedDevice expanded,
1,000 runs a page), export-job CSVs and the portal's CSV export (its times month first, with AM
and PM), as an administrator collects them: about 6 % of the
records are Graph runs and export rows of machines read before, which carry the device's id and name and join the probe
lines of the same machine; some runs gave no output; some machines have no inspector, or send a
fall-back error line without a unit; a few hundred boards share the firmware's placeholder UUID,
and a few cloned ones one UUID between two serial numbers.

    python3 bench/make_probe_lines.py OUT [COUNT] [--days D]
"""

import json
import os
import random
import sys

STATUSES = (["match"] * 960 + ["differs"] * 12 + ["missing"] * 8 + ["not-run"] * 12 +
            ["only-64-bit"] * 2 + ["no-table"] * 3 + ["error"] * 3)
MAKER = "Vesk Computer Corporation"
PLACEHOLDER = "03000200-0400-0500-0006-000700080009"
SCRIPT = "7f3c2b1a-0d4e-4c8b-9a6f-1e2d3c4b5a69"
POLICY = ("File C:\\Program Files (x86)\\Vesk Computer Corporation\\VeskInfo\\Detect-VeskInfo.ps1 "
          "cannot be loaded because running scripts is disabled on this system.")
PORTAL = "Device name,Last run,Pre-remediation detection output,Post-remediation detection output"
JOB = ("DeviceId,DeviceName,UPN,DetectionStatus,RemediationStatus,"
       "PreRemediationDetectionScriptOutput,PreRemediationDetectionScriptError,"
       "PostRemediationDetectionScriptOutput,PostRemediationDetectionScriptError,ModifiedTime")


def unit(number):
    if number % 20 == 0:
        return None
    serial = f"SN{number:08d}"
    if number % 10 == 5:
        return {"serial": serial, "uuid": None}
    if number % 2000 == 7:  # boards with the firmware's placeholder
        return {"serial": serial, "uuid": PLACEHOLDER}
    if number % 5000 == 9:  # a cloned board: its UUID is its neighbour's
        number -= 8
    return {"serial": serial, "uuid": f"{number:08X}-4C4C-4D44-8036-B2C04F4D3532"}


def line(number, rng):
    model = number * 7919 % 40  # a machine keeps its model, whichever line it sends
    system_id, regulatory = f"{0xA00 + model:X}", f"VCC-D{7400 + model}"
    if model == 7 and number // 40 % 20 == 3:
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


def fallback(number, status="error"):
    """The line the scripts write themselves where the inspector cannot answer."""
    none = {"manufacturer": None, "system_id": None, "regulatory_id": None}
    why = ("no veskinfo-inspect.exe in C:\\Program Files (x86)\\Vesk Computer Corporation\\"
           "VeskInfo" if status == "no-inspector" else "veskinfo-inspect.exe wrote no line")
    return json.dumps({"probe": 1, "machine": f"DESKTOP-{number:06d}", "status": status,
                       "error": why, "stored": none, "expected": none, "source": None,
                       "model": None, "unit": None, "tool": None}, separators=(",", ":"))


def device_id(number):
    return f"{number:08x}-9c2e-4f1a-8b3d-5e6f7a8b9c0d"


def stamp(rng):
    return f"2026-12-{rng.randrange(1, 10):02d}T{rng.randrange(24):02d}:{rng.randrange(60):02d}:" \
           f"{rng.randrange(60):02d}.{rng.randrange(10 ** 7):07d}Z"


def graph_run(number, rng):
    output = "" if number % 50 == 3 else line(number, rng)
    at = stamp(rng)
    return {
        "id": f"{SCRIPT}:{device_id(number)}", "detectionState": "scriptError" if not output
        else "success", "lastStateUpdateDateTime": at, "expectedStateUpdateDateTime": None,
        "lastSyncDateTime": at, "preRemediationDetectionScriptOutput": output or None,
        "preRemediationDetectionScriptError": None if output else POLICY,
        "remediationState": "skipped", "remediationScriptError": None,
        "postRemediationDetectionScriptOutput": None, "postRemediationDetectionScriptError": None,
        "managedDevice": {
            "id": device_id(number), "userId": "", "deviceName": f"DESKTOP-{number:06d}",
            "managedDeviceOwnerType": "company", "operatingSystem": "Windows",
            "complianceState": "compliant", "managementAgent": "mdm",
            "osVersion": "10.0.19045.5247", "azureADDeviceId": device_id(number + 1),
            "model": "Vesk Desk", "manufacturer": MAKER, "serialNumber": f"SN{number:08d}"}}


def csv_quoted(text):
    return '"' + text.replace('"', '""') + '"'


def job_row(number, rng):
    return (f"{device_id(number)},DESKTOP-{number:06d},,success,skipped,"
            f"{csv_quoted(line(number, rng))},,,,{stamp(rng)}")


def portal_row(number, rng):
    """The portal's own export: its times as a US browser shows them, month first."""
    hour = rng.randrange(1, 13)
    return (f'DESKTOP-{number:06d},"12/{rng.randrange(1, 10)}/2026, {hour}:{rng.randrange(60):02d}:'
            f'{rng.randrange(60):02d} {rng.choice(["AM", "PM"])}",{csv_quoted(line(number, rng))},')


class Writer:
    """Spreads the records over the files of a folder, each kind in files of its own."""

    def __init__(self, folder):
        self.folder, self.files, self.counts = folder, {}, {}
        os.makedirs(folder, exist_ok=True)

    def add(self, kind, record, per_file):
        count = self.counts.get(kind, 0)
        if count % per_file == 0:
            self.close(kind)
            name = {"probes": "probes-{}.txt", "graph": "runs-page{}.json",
                    "job": "export-{}.csv", "portal": "portal-{}.csv"}[kind].format(
                        count // per_file + 1)
            f = open(os.path.join(self.folder, name), "w", encoding="utf-8", newline="")
            f.write({"probes": "", "job": JOB + "\r\n", "portal": PORTAL + "\r\n",
                     "graph": '{"@odata.context":"https://graph.microsoft.com/beta/$metadata#'
                              "deviceManagement/deviceHealthScripts('" + SCRIPT +
                              "')/deviceRunStates(managedDevice())\",\"value\":["}[kind])
            self.files[kind] = f
        elif kind == "graph":
            self.files[kind].write(",")
        self.files[kind].write(record + ("" if kind == "graph" else "\n" if kind == "probes"
                                         else "\r\n"))
        self.counts[kind] = count + 1

    def close(self, kind=None):
        for name in [kind] if kind else list(self.files):
            f = self.files.pop(name, None)
            if f and name == "graph":
                f.write('],"@odata.nextLink":"https://graph.microsoft.com/beta/deviceManagement/'
                        f'deviceHealthScripts/{SCRIPT}/deviceRunStates?$expand=managedDevice'
                        '&$skiptoken=Mg"}')
            if f:
                f.close()


def main():
    args = sys.argv[1:]
    days = int(args.pop(args.index("--days") + 1)) if "--days" in args else 0
    args = [arg for arg in args if arg != "--days"]
    out, count = args[0], int(args[1]) if len(args) > 1 else 100_000
    rng = random.Random(20)
    machines = count * 41 // 50
    if days:
        with open(out, "w", encoding="utf-8", newline="\n") as f:
            for _ in range(days):
                for number in range(count):
                    f.write(line(number, rng) + "\n")
        return
    if out.endswith(".txt"):
        with open(out, "w", encoding="utf-8", newline="\n") as f:
            for number in range(count):
                machine = number if number < machines else rng.randrange(machines)
                f.write(line(machine, rng) + "\n")
        return
    writer = Writer(out)
    for number in range(count):
        machine = number if number < machines else rng.randrange(machines)
        # Of the records of a machine read before: 15 % Graph runs, 10 % export-job rows, 5 %
        # portal rows, 5 % fall-back lines (3 % error, 2 % no-inspector), the rest probe lines.
        kind = rng.randrange(100) if number >= machines else 100
        if kind < 15:
            writer.add("graph", json.dumps(graph_run(machine, rng), separators=(",", ":")), 1000)
        elif kind < 25:
            writer.add("job", job_row(machine, rng), 10_000)
        elif kind < 30:
            writer.add("portal", portal_row(machine, rng), 10_000)
        elif kind < 35:
            writer.add("probes", fallback(machine, "error" if kind < 33 else "no-inspector"),
                       100_000)
        else:
            writer.add("probes", line(machine, rng), 100_000)
    writer.close()


if __name__ == "__main__":
    main()
