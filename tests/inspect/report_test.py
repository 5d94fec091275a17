#!/usr/bin/env python3
"""veskinfo-inspect --report over what a fleet sends back: files of probe lines and detection
exports as CSV under the portal's and the Graph API's column names, with hostile machine names.
Browser renders the HTML in headless chromium and reads it back from the DOM (status 77, a
skip, where chromium is not installed). VESK_INSPECT names the program.

    VESK_INSPECT=... report_test.py [-v] [Report|Browser]
"""

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
          "no-table": 1, "error": 0, "all": 6}
FLAGGED = [f"{MAKER} D7400", f"{MAKER} L10"]  # two regulatory identifiers; the fall-back "0"
PORTAL = "Device name,Pre-remediation detection output,Post-remediation detection output"
GRAPH = "deviceName,preRemediationDetectionScriptOutput,postRemediationDetectionScriptOutput"


def probe(machine, status="match", system_id="A47", regulatory="VCC-D7400", product="D7400"):
    values = {"manufacturer": MAKER, "system_id": system_id, "regulatory_id": regulatory}
    return json.dumps({"probe": 1, "machine": machine, "status": status, "stored": values,
                       "expected": values, "source": "wmi", "tool": "1",
                       "model": {"manufacturer": MAKER, "product": product}})


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


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
                                      "table", "tr", "th", "td", "br", "code", "span"}, set())
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
        self.assertIn(b"  match: 1\n  differs: 1\n  missing: 1\n", done.stdout)
        self.assertIn(b"Models: 1, flagged: 0\nInputs: 1\n", done.stdout)


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
        flagged = re.findall(r'<tr class="flagged"><td class="model">([^<]*) <span', dom)
        self.assertEqual(flagged, FLAGGED)


if __name__ == "__main__":
    if "Browser" in sys.argv and shutil.which("chromium") is None:
        print("chromium is not installed: the browser check is skipped")
        sys.exit(77)
    unittest.main()
