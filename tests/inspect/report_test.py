#!/usr/bin/env python3
"""veskinfo-inspect --report over what a fleet sends back: files of probe lines, detection
exports as CSV under the portal's and the Graph API's column names and Graph pages, with hostile
machine names and machines reported more than once.
Browser renders the HTML in headless chromium and reads it back from the DOM (status 77, a
skip, where chromium is not installed). VESK_INSPECT names the program.

    VESK_INSPECT=... report_test.py [-v] [Report|Browser]
"""

import csv
import io
import json
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from html.parser import HTMLParser
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from cli_test import DESKTOP, Files, run  # noqa: E402
from workflow_test import stored, sysinfo_export  # noqa: E402

MAKER = "Vesk Computer Corporation"
# Each would change the page's title if it ran.
HOSTILE = ['<script>document.title="owned"</script>',
           '"><img src=x onerror="document.title=\'owned\'">']
TOTALS = {"match": 3, "differs": 1, "missing": 1, "not-run": 0, "only-64-bit": 0,
          "no-table": 1, "error": 0, "no-inspector": 0, "no-output": 0, "all": 6}
FLAGGED = [f"{MAKER} D7400", f"{MAKER} L10"]  # two regulatory identifiers; the fall-back "0"
PORTAL = "Device name,Pre-remediation detection output,Post-remediation detection output"
GRAPH = "deviceName,preRemediationDetectionScriptOutput,postRemediationDetectionScriptOutput"


def probe(machine, status="match", system_id="A47", regulatory="VCC-D7400", product="D7400",
          uuid=None):
    values = {"manufacturer": MAKER, "system_id": system_id, "regulatory_id": regulatory}
    return json.dumps({"probe": 1, "machine": machine, "status": status, "stored": values,
                       "expected": values, "source": "wmi", "tool": "1",
                       "model": {"manufacturer": MAKER, "product": product},
                       **({"unit": {"serial": None, "uuid": uuid}} if uuid else {})})


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


# The export job's report of a remediation's device states, as CSV.
JOB = ("DeviceId,DeviceName,UPN,DetectionStatus,RemediationStatus,"
       "PreRemediationDetectionScriptOutput,PreRemediationDetectionScriptError,"
       "PostRemediationDetectionScriptOutput,PostRemediationDetectionScriptError,ModifiedTime")


def job_row(device_id, name, line, modified, detection="fail"):
    return f"{device_id},{name},,{detection},unknown,{quoted(line)},,,,{modified}"


class Fleet(Files):
    def inputs(self):
        """Six machines and one line that is no probe line, in a file, a CSV and a folder."""
        lines = [probe("PC-1"), probe(HOSTILE[0], "differs"), "WARNING: not a probe",
                 probe("PC-3", regulatory="VCC-D7401")]
        after = probe('PC, "4"')  # after remediation: this one counts
        rows = [f'"PC,4",{quoted(probe("PC,4", "not-run"))},{quoted(after)}',
                f'PC-5,{quoted(probe(HOSTILE[1], "missing", "0", product="L10"))},']
        (Path(self.dir.name) / "exports").mkdir()
        return [self.file("probes.txt", "\n".join(lines).encode()),
                self.file("portal.csv", ("\r\n".join([PORTAL] + rows) + "\r\n").encode()),
                self.file("exports/graph.csv",
                          f"{GRAPH}\nPC-6,{quoted(probe('PC-6', 'no-table', product='D7500'))},\n"
                          .encode()).parent]

    def html(self):
        out = Path(self.dir.name) / "fleet.html"
        done = run("--report", out, *self.inputs())
        self.assertEqual(done.returncode, 0, done.stderr)
        return out


class Report(Fleet):
    def test_text_summary_with_a_csv_refused_for_its_columns(self):
        """A file refused as a whole is named with its columns and makes the exit status 2; the
        report of every other input is still given."""
        bad = self.file("bad.csv", b"Device,Output\r\nPC,{}\r\n")
        done = run("--report", "-", bad, *self.inputs())
        self.assertEqual(done.returncode, 2)
        self.assertIn(b'bad.csv: needs a device-name and a detection-output column; its columns: '
                      b'"Device", "Output"\n', done.stderr)
        text = done.stdout.decode()
        for status, count in TOTALS.items():
            label = "Machines" if status == "all" else f"  {status}"
            self.assertIn(f"\n{label}: {count}\n", "\n" + text)
        self.assertIn("Models: 3, flagged: 2\n", text)
        flagged = re.findall(r"^  (.*): machines \d+;", text, re.M)
        self.assertEqual(flagged, FLAGGED)
        self.assertIn('regulatory identifiers: "VCC-D7400" (3), "VCC-D7401" (1)', text)
        self.assertIn("probes.txt:3: not a probe line: WARNING: not a probe\n", text)
        self.assertIn("Lines refused: 1\n", text)

    def test_html_is_one_offline_file_showing_every_text_as_text(self):
        page = Page()
        page.feed(self.html().read_text(encoding="utf-8"))
        self.assertEqual(page.tags - {"html", "head", "meta", "title", "style", "body", "h1",
                                      "h2", "p", "b", "small", "section", "svg", "text", "rect",
                                      "table", "tr", "th", "td", "br", "code", "span", "bdi"},
                         set())
        self.assertEqual(page.loading, [])
        self.assertNotIn("url(", page.style)
        for name in HOSTILE:
            self.assertIn(name, page.text)

    def test_lines_the_probe_writes(self):
        lines = b""
        for values in (stored(), stored(system_id="B12"), stored(regulatory=None)):
            done = run("--audit", "--probe", self.file("s.reg", sysinfo_export(values)), DESKTOP)
            lines += done.stdout
        done = run("--report", "-", self.file("probes.txt", lines))
        self.assertEqual(done.returncode, 0, done.stderr)
        # One machine three times: the last line read is kept.
        self.assertIn(b"Machines: 1\n  match: 0\n  differs: 0\n  missing: 1\n", done.stdout)
        self.assertIn(b"Need action: 1\n1 machine reported more than once; the newest record "
                      b"kept (3 records read)\nJoined from several records: 1 device; by device "
                      b"id 0, by UUID 1, by serial number 1, by name 0\nModels: 1, flagged: 0\n"
                      b"Inputs: 1\n", done.stdout)

    def test_days_of_exports_count_machines_and_keep_the_newest(self):
        """Two days' exports (Graph's CSV columns, a Graph page saved by Windows PowerShell as
        UTF-16): a machine is its UUID, whatever it is called; the newest run counts."""
        day = "deviceName,postRemediationDetectionScriptOutput,lastStateUpdateDateTime\n"
        (Path(self.dir.name) / "days").mkdir()
        self.file("days/1.csv", day + f"PC-1,{quoted(probe('PC-1', uuid='U-1'))},"
                  "2026-12-09T10:00:00Z\n" f"PC-2,{quoted(probe('PC-2', 'differs'))},\n")
        runs = [{"lastStateUpdateDateTime": "2026-12-08T10:00:00Z",
                 "postRemediationDetectionScriptOutput": probe("PC-1", "differs", uuid="U-1"),
                 "managedDevice": {"deviceName": "PC-1-RENAMED"}},
                {"managedDevice": {"deviceName": "PC-2"},
                 "preRemediationDetectionScriptOutput": probe("PC-2")}]
        page = json.dumps({"value": runs, "@odata.nextLink": "https://x/page-2"})
        self.file("days/2.json", b"\xff\xfe" + page.encode("utf-16-le"))
        done = run("--report", "-", Path(self.dir.name) / "days")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("Machines: 2\n  match: 2\n  differs: 0\n", done.stdout.decode())
        self.assertIn("2 machines reported more than once; the newest record kept (4 records "
                      "read)\n", done.stdout.decode())
        self.assertIn("2.json: Graph page, UTF-16; lines 2, machines 2, refused 0\n",
                      done.stdout.decode())

    def test_machines_needing_action_and_their_texts_unmistakable(self):
        lines = [json.loads(probe("PC-1", "differs")),
                 json.loads(probe("PC\u202eexe.txt", "differs", uuid="U-2"))]
        lines[0]["stored"]["system_id"] = "A47 "
        lines[1]["stored"]["regulatory_id"] = "VCC\u2011D7400"
        lines = [json.dumps(line) for line in lines]
        done = run("--report", "-", self.file("p.txt", "\n".join(lines).encode()))
        self.assertIn('\nMachines that need action, the first 50:\n'
                      '  PC-1: differs: system identifier stored "A47{U+0020}", firmware "A47"\n'
                      '  PC{U+202E}exe.txt: differs: regulatory identifier stored '
                      '"VCC{U+2011}D7400", firmware "VCC-D7400"\n', done.stdout.decode())

    def test_the_report_is_never_read_as_an_input(self):
        """OUT among the inputs is refused before anything is written; a report left in a folder
        of inputs is recognised by its content and skipped; no machine read at all is status 2."""
        folder = self.inputs()[-1]
        same = self.file("same.txt", probe("PC-1").encode())
        for inputs in ([same, same], [same, Path(self.dir.name) / "." / "same.txt"]):
            done = run("--report", inputs[0], *inputs[1:])
            self.assertEqual(done.returncode, 2)
            self.assertIn(b"the report would overwrite its input", done.stderr)
            self.assertEqual(same.read_bytes(), probe("PC-1").encode())
        for name in ("report.html", "machines.CSV", "summary.out"):
            out = folder / name
            done = run("--report", "-" if name.endswith(".out") else out, folder)
            if name.endswith(".out"):
                out.write_bytes(done.stdout)
            done = run("--report", out.with_suffix(".again"), folder)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn(b"1 machines (1 records)", done.stderr)
            again = run("--report", "-", folder).stdout.decode()
            self.assertIn(f"{name}: a report of veskinfo-inspect: skipped\n", again)
            (folder / name).unlink()
            out.with_suffix(".again").unlink()
        done = run("--report", "-", self.file("warnings.txt", b"WARNING: nothing\n"))
        self.assertEqual(done.returncode, 2)
        self.assertIn(b"no machine was read from any input", done.stderr)

    def test_devices_as_their_inputs_date_them(self):
        """Each row a fault the report had: the older export read last won; a day-first time was
        read month first, or dropped without a word; a machine without the inspector was a
        generic error."""
        unit = {"uuid": "6F1A2C30-5D4E-4B8A-9C21-0E7F3D5A9B42"}
        new, old = probe("PC-1", **unit), probe("PC-1", "differs", system_id="B12", **unit)
        portal = "Device name,Last run,Pre-remediation detection output"
        no_inspector = ('{"probe":1,"machine":"PC-7","status":"no-inspector","error":"no '
                        'veskinfo-inspect.exe in C:\\\\Program Files (x86)\\\\Vesk Computer '
                        'Corporation\\\\VeskInfo","stored":{"manufacturer":null,"system_id":null,'
                        '"regulatory_id":null},"expected":{"manufacturer":null,"system_id":null,'
                        '"regulatory_id":null},"source":null,"model":null,"unit":null,"tool":null}')
        day_first = {"x.csv": f"{portal}\r\nPC-1,09/12/2026 06:00,{quoted(old)}\r\n",
                     "y.txt": new + "\n"}
        cases = [
            ("ModifiedTime, the older file read last",
             {"a.csv": f"{JOB}\r\n{job_row('d1', 'PC-1', new, '2026-12-09T06:00:00Z')}\r\n",
              "b.csv": f"{JOB}\r\n{job_row('d1', 'PC-1', old, '2026-12-08T06:00:00Z')}\r\n"},
             [], ["Machines: 1\n  match: 1\n", "by device id 1, by UUID 1,"]),
            ("09/12/2026 without --date-order: counted, not guessed", day_first, [],
             ["  match: 1\n", "x.csv:2 '09/12/2026 06:00'); 1 with day and month in doubt"]),
            ("09/12/2026 with --date-order dmy: the timed record counts", day_first,
             ["--date-order", "dmy"], ["  match: 0\n  differs: 1\n"]),
            ("no-inspector", {"p.txt": no_inspector + "\n"}, [],
             ["  no-inspector: 1\n", "1 machine has VeskInfo without the inspector: deploy the "
              "VeskInfo installer package (MSI) to them as a required app",
              "PC-7: no-inspector: the inspector is not installed"]),
        ]
        for what, files, options, expected in cases:
            with self.subTest(what):
                folder = Path(tempfile.mkdtemp(dir=self.dir.name))
                for name, text in files.items():
                    (folder / name).write_text(text, encoding="utf-8")
                done = run("--report", "-", *options, *sorted(folder.iterdir()))
                self.assertEqual(done.returncode, 0, done.stderr)
                for text in expected:
                    self.assertIn(text, done.stdout.decode())
        done = run("--date-order", "dmy", self.file("p.txt", new.encode()))
        self.assertEqual(done.returncode, 2)
        self.assertIn(b"--date-order requires --report", done.stderr)

    def test_csv_of_the_machines_holds_no_formula(self):
        lines = [probe("=HYPERLINK(1)", "differs", system_id="-1+1"), probe("PC-2", uuid="U-2")]
        out = Path(self.dir.name) / "machines.csv"
        done = run("--report", out, self.file("p.txt", "\n".join(lines).encode()))
        self.assertEqual(done.returncode, 0, done.stderr)
        data = out.read_bytes()
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"))
        rows = list(csv.reader(io.StringIO(data.decode("utf-8-sig"), newline="")))
        self.assertEqual(len(rows), 3)
        self.assertEqual(rows[0][:4], ["Device name", "Probe name", "Serial number", "UUID"])
        self.assertEqual(rows[1][:2] + rows[1][6:7] + rows[1][9:10],
                         ["'=HYPERLINK(1)", "'=HYPERLINK(1)", "differs", "'-1+1"])
        self.assertEqual(rows[2][:4], ["PC-2", "PC-2", "", "U-2"])


class Page(HTMLParser):
    """The tags, the attributes that load or run something, the style and the text of a page."""

    def __init__(self):
        super().__init__()
        self.tags, self.loading, self.style, self.text, self.in_style = set(), [], "", [], False

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        self.in_style = tag == "style"
        self.loading += [name for name, _ in attrs
                         if name in ("src", "href", "srcset") or name.startswith("on")]

    def handle_data(self, data):
        if self.in_style:
            self.style += data
        self.text.append(data)


class Browser(Fleet):
    def test_rendered_totals_and_flagged_models(self):
        out = self.html()
        with tempfile.TemporaryDirectory() as profile:
            done = subprocess.run(
                ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", f"--user-data-dir={profile}",
                 "--dump-dom", out.as_uri()], capture_output=True, timeout=120)
        dom = done.stdout.decode()
        self.assertEqual(done.returncode, 0, done.stderr[-2000:])
        self.assertIn("<title>VeskInfo fleet report</title>", dom)  # no script ran
        totals = dict(re.findall(r'<tr data-status="([a-z0-9-]+)"><t[dh]>[a-z0-9-]+</t[dh]>'
                                 r'<t[dh] class="n count">(\d+)<', dom))
        self.assertEqual({status: int(count) for status, count in totals.items()}, TOTALS)
        flagged = re.findall(r'<tr class="flagged"><td class="model"><bdi>([^<]*)</bdi> <span', dom)
        self.assertEqual(flagged, FLAGGED)


if __name__ == "__main__":
    if "Browser" in sys.argv and shutil.which("chromium") is None:
        print("chromium is not installed: the browser check is skipped")
        sys.exit(77)
    unittest.main()
