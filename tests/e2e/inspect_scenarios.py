"""End-to-end scenarios of the 64-bit veskinfo-inspect.exe under Wine: file inputs against the
Linux build, the live table sources (with the 64-bit test locator), --save, the live audit
against what VeskInfo.exe stored in the prefix, and --repair. Run by scenarios.py, which lists
them."""
import json
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from winerun import ROOT, SMBIOS_KEY, SYSINFO_KEY, WINE_LOCATOR, windows_path

sys.path.insert(0, str(ROOT / "tests" / "inspect"))
import dmidump  # noqa: E402
from cli_test import CUT_SHORT, long_table, reg_export, utf16_export  # noqa: E402

SAMPLES = ROOT / "samples"
DESKTOP = SAMPLES / "desktop.bin"
# The Linux inspector the file inputs are compared with: the host layer's build.
LINUX_BUILDS = [ROOT / "build" / "host" / "inspect" / "veskinfo-inspect",
                ROOT / "build" / "release" / "inspect" / "veskinfo-inspect"]
DESKTOP_VALUES = [b"Vesk Computer Corporation", b"A47", b"VCC-D7400"]
NOTEBOOK_VALUES = [b"Vesk Computer Corporation", b"A5B", b"VCC-N1320"]


def inspector(wine):
    return wine.build / "win64" / "inspect" / "veskinfo-inspect.exe"


def linux_inspector(skipped):
    for build in LINUX_BUILDS:
        if build.exists():
            return build
    raise skipped("no Linux build of veskinfo-inspect to compare with (build the host preset)")


def run_windows(wine, args, cwd, env=None):
    """(exit status, standard output, standard error) of the Windows inspector."""
    done = wine.run([inspector(wine)] + [str(a) for a in args], timeout=300,
                     env=dict(wine.env, **(env or {})), cwd=cwd)
    return done.returncode, done.stdout, done.stderr


def run_linux(program, args, cwd):
    done = subprocess.run([str(program)] + [str(a) for a in args], cwd=cwd,
                          stdin=subprocess.DEVNULL, capture_output=True)
    return done.returncode, done.stdout, done.stderr


# --- file inputs: the Windows build against the Linux build ----------------------------------

def file_inputs(folder):
    """Every sample and a test table of each format, written into `folder`; returns the names."""
    table = DESKTOP.read_bytes()
    files = {path.name: path.read_bytes() for path in sorted(SAMPLES.glob("*.bin"))}
    files.update({
        "smbios3.dump": dmidump.dump(table, kind="3"),
        "smbios2.dump": dmidump.dump(table, kind="2"),
        "legacy.dump": dmidump.dump(table, kind="legacy"),
        "bad-checksum.dump": dmidump.dump(table, kind="2")[:4] + b"\0" + dmidump.dump(table, kind="2")[5:],
        "table.rsmb": dmidump.rsmb(table),
        "calling-method.rsmb": dmidump.rsmb(table, method=1),
        "regedit4.reg": reg_export(table).encode("latin-1"),
        "utf16.reg": utf16_export(table),
        "cut-short.bin": CUT_SHORT,
        "not-an-export.reg": b"just text\r\n",
        "empty.bin": b"",
    })
    for name, data in files.items():
        (folder / name).write_bytes(data)
    return list(files)


def normalised(output, json_lines=False):
    """Line ends normalised; JSON parsed, with the Windows separator in input names made "/"."""
    text = output.replace(b"\r\n", b"\n")
    if not json_lines:
        return text
    records = [json.loads(line) for line in text.decode().splitlines()]
    for record in records:
        record["input"] = record["input"].replace("\\", "/")
    return records


def parsed(output):
    return json.loads(output) if output else output


def files_agree(wine, failure, skipped):
    """On every sample and test table, in each output form, and on a folder as a batch, the
    Windows build prints what the Linux build prints."""
    linux = linux_inspector(skipped)
    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(scratch)
        names = file_inputs(folder)
        cases = [([name], False) for name in names]
        cases += [(["--explain", name], False) for name in names]
        cases += [(["--json", name], "single") for name in names]
        cases += [(["--source", "registry", "--json", name], "single")
                  for name in ("table.rsmb", "calling-method.rsmb", "utf16.reg")]
        (folder / "batch").mkdir()
        for name in ("desktop.bin", "smbios3.dump", "cut-short.bin", "utf16.reg"):
            shutil.copy(folder / name, folder / "batch" / name)
        cases += [(["batch"], False), (["--json", "batch"], "lines")]
        differing = []
        for args, form in cases:
            ours, theirs = run_windows(wine, args, folder), run_linux(linux, args, folder)
            if form == "single":
                same = (ours[0], parsed(ours[1]), normalised(ours[2])) == \
                    (theirs[0], parsed(theirs[1]), theirs[2])
            elif form == "lines":
                same = ours[0] == theirs[0] and normalised(ours[1], True) == normalised(theirs[1], True)
            elif args == ["batch"]:
                ours_rows = normalised(ours[1]).replace(b"batch\\\\", b"batch/")
                same = (ours[0], ours_rows) == (theirs[0], theirs[1])
            else:
                same = (ours[0], normalised(ours[1]), normalised(ours[2])) == theirs
            if not same:
                differing.append("%s: Windows %r, Linux %r" % (args, ours, theirs))
        if differing:
            raise failure("the builds differ:\n" + "\n".join(differing))
    return "%d runs of each build agree" % len(cases)


def unicode_names(wine, failure, skipped):
    """A file and a folder named outside the ANSI code page, given on the command line."""
    utf8 = {"LC_ALL": "C.UTF-8"}  # how Wine reads the Unix names and arguments
    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(scratch) / "таблицы"
        folder.mkdir()
        (folder / "завод-€.bin").write_bytes(DESKTOP.read_bytes())
        status, out, err = run_windows(wine, [windows_path(folder / "завод-€.bin")], scratch, utf8)
        if (status, out.split(b"\n")[:3]) != (0, DESKTOP_VALUES):
            raise failure("a file named outside the code page: status %d, %r %r" % (status, out, err))
        status, out, err = run_windows(wine, ["--field", "system-id", "таблицы"], scratch, utf8)
        rows = out.decode("utf-8").splitlines()
        if status != 0 or rows[1:] != ["таблицы\\\\завод-€.bin\tA47"]:
            raise failure("a folder named outside the code page: status %d, %r %r" % (status, rows, err))
    return "file and folder names outside the code page"


# --- live sources -----------------------------------------------------------------------------

# The locator's faults and data shapes: each makes the WMI source fail.
LOCATOR_FAULTS = ["fault ClassObject 0x80040111", "fault ConnectServer 0x8004100E",
                  "fault SetBlanket 0x80070005", "fault CreateInstanceEnum 0x80041003",
                  "fault Next 0x00000001", "fault Get 0x80041002", "shape null", "shape bstr",
                  "shape empty"]


def live_json(wine, scratch, args, locator_line=None):
    config = Path(scratch) / "locator.cfg"
    lines = ["table " + windows_path(DESKTOP)] + ([locator_line] if locator_line else [])
    config.write_text("\n".join(lines) + "\n")
    status, out, err = run_windows(wine, ["--json"] + args, scratch,
                                   env={"VESK_WMI_LOCATOR": windows_path(config)})
    try:
        return status, json.loads(out), err
    except ValueError:
        return status, None, err


def values_of(report):
    return [report[k].encode("latin-1") for k in ("manufacturer", "system_id", "regulatory_id")]


def live_sources(wine, failure, skipped):
    """The registry copy holds the notebook table behind an RSMB header; the 64-bit test locator
    serves the desktop table as WMI."""
    linux = linux_inspector(skipped)
    table = dmidump.rsmb((SAMPLES / "type208.bin").read_bytes())
    results = []
    with tempfile.TemporaryDirectory() as scratch:
        (Path(scratch) / "registry.rsmb").write_bytes(table)
        locator = wine.build / "win64" / "tools" / "wmilocator.dll"
        try:
            wine.regtool(("delete", "64", SMBIOS_KEY),
                         ("setbin", "64", SMBIOS_KEY, "SMBiosData",
                          windows_path(Path(scratch) / "registry.rsmb")),
                         *wine._locator_commands(windows_path(locator), "64"))
            results.append(check_default_and_save(wine, scratch, linux, failure))
            for fault in LOCATOR_FAULTS:
                status, report, err = live_json(wine, scratch, [], fault)
                if (status, report and report["source"], report and values_of(report),
                        report and report["structures"][0]["offset"]) != (0, "registry", NOTEBOOK_VALUES, 0):
                    raise failure("with the locator's %s: status %d, %r %r" % (fault, status, report, err))
                problem = report["live"]["sources"][0]["problem"]
                if "0x80041003" in fault and "needs administrator rights" not in problem:
                    raise failure("a refused WMI source is not said to need rights: %r" % problem)
            results.append("%d locator faults: the registry copy" % len(LOCATOR_FAULTS))
            status, report, err = live_json(wine, scratch, ["--source", "registry"])
            if (status, report["source"], values_of(report)) != (0, "registry", NOTEBOOK_VALUES):
                raise failure("--source registry: %d %r %r" % (status, report, err))
            results.append(check_firmware(wine, scratch, failure))
        finally:
            wine.regtool(*wine._locator_commands(WINE_LOCATOR, "64"))
    return "; ".join(results)


def check_default_and_save(wine, scratch, linux, failure):
    status, report, err = live_json(wine, scratch, ["--save", "saved.rsmb"])
    live = report and report["live"]
    if (status, report and report["source"], report and values_of(report)) != (0, "wmi", DESKTOP_VALUES):
        raise failure("the default source: status %d, %r %r" % (status, report, err))
    differing = live["differences"].get("system_id", {})
    if live["veskinfo_uses"] != "wmi" or [s["answered"] for s in live["sources"]] != [True] * 3 \
            or (differing.get("wmi"), differing.get("registry")) != ("A47", "A5B"):
        raise failure("the sources' summary: %r" % live)
    status, out, err = run_linux(linux, [Path(scratch) / "saved.rsmb"], scratch)
    if (status, out.split(b"\n")[:3]) != (0, DESKTOP_VALUES):
        raise failure("the Linux build on the saved table: %d %r %r" % (status, out, err))
    return "default: wmi, saved and read back by the Linux build"


def check_firmware(wine, scratch, failure):
    """Wine builds its firmware table from the host's system files: no type-11 structure."""
    status, report, err = live_json(wine, scratch, ["--source", "firmware"])
    types = {s["type"] for s in report["structures"]} if report else set()
    if status != 0 or report["format"] != "rsmb" or not report["walk_completed"] or 11 in types \
            or 1 not in types:
        raise failure("--source firmware: status %d, %r %r" % (status, report, err))
    return "firmware: rsmb, %d structures, walk completed" % len(report["structures"])


# --- the live audit ---------------------------------------------------------------------------

def audit_cases():
    """(name, regtool commands after VeskInfo ran, exit status, what the output must hold)."""
    return [
        ("as VeskInfo stored them", [], 0, "RegulatoryID: stored \"VCC-N1320\", expected "
         "\"VCC-N1320\": match"),
        ("one changed", [("setsz", "32", SYSINFO_KEY, "SystemIdHex", "B12")], 3,
         "SystemIdHex: stored \"B12\", expected \"A5B\": differs: the firmware has changed"),
        ("one deleted", [("delvalue", "32", SYSINFO_KEY, "RegulatoryID")], 3,
         "RegulatoryID: stored (none), expected \"VCC-N1320\": differs: this value is missing"),
        ("only in the 64-bit view", [("delete", "32", SYSINFO_KEY)]
         + [("setsz", "64", SYSINFO_KEY, name, text) for name, text in
            (("System Manufacturer", "Vesk Computer Corporation"), ("SystemIdHex", "A5B"),
             ("RegulatoryID", "VCC-N1320"))], 3,
         "stored only in the 64-bit view of the registry"),
    ]


def live_audit(wine, failure, skipped):
    """VeskInfo.exe records the registry copy's identity (Wine's own WMI hands over no table, or
    the machine's own, which the inspector then takes as well); the inspector audits it."""
    import scenarios
    if Path("/sys/firmware/dmi/tables/DMI").exists():
        raise skipped("Wine's WMI would hand over this machine's own table")
    with tempfile.TemporaryDirectory() as scratch:
        texts, code, stored, _ = scenarios.run(wine, SAMPLES / "type208.bin")
        if code != 0 or stored[0] is None:
            raise failure("VeskInfo.exe did not store the values: exit %d, %r" % (code, stored))
        seen = []
        for name, commands, expected_status, needle in audit_cases():
            wine.regtool(*([("delete", "32", SYSINFO_KEY)] + [
                ("setsz", "32", SYSINFO_KEY, value, data[:-1].decode("latin-1"))
                for value, (_, data) in stored[0].items()] + commands))
            status, out, err = run_windows(wine, ["--audit"], scratch)
            text = out.decode("latin-1")
            if status != expected_status or needle not in text:
                raise failure("%s: status %d (expected %d), %r %r" % (name, status,
                                                                     expected_status, text, err))
            seen.append("%s: %d" % (name, status))
        wine.regtool(("delete", "64", SYSINFO_KEY))
    return "; ".join(seen)


# --- the probe ----------------------------------------------------------------------------------

NAMES = ("System Manufacturer", "SystemIdHex", "RegulatoryID")


def probe_cases(long_path):
    """(name, regtool commands after VeskInfo's values are put back, status, exit status, the
    stored values in the line: None as VeskInfo stored them, "cut" each cut with the mark)."""
    return [
        ("after VeskInfo ran", [], "match", 0, None),
        ("one value changed", [("setsz", "32", SYSINFO_KEY, "SystemIdHex", "B12")], "differs", 1,
         [NOTEBOOK_VALUES[0], b"B12", NOTEBOOK_VALUES[2]]),
        ("one value deleted", [("delvalue", "32", SYSINFO_KEY, "RegulatoryID")], "missing", 1,
         NOTEBOOK_VALUES[:2] + [None]),
        ("the key deleted", [("delete", "32", SYSINFO_KEY)], "not-run", 1, [None] * 3),
        ("only in the 64-bit view", [("delete", "32", SYSINFO_KEY)] + [
            ("setsz", "64", SYSINFO_KEY, n, v.decode()) for n, v in zip(NAMES, NOTEBOOK_VALUES)],
         "only-64-bit", 1, None),
        ("259-character strings", [("setsz", "32", SYSINFO_KEY, n, "X" * 259) for n in NAMES]
         + [("setbin", "64", SMBIOS_KEY, "SMBiosData", windows_path(long_path))], "differs", 1,
         "cut"),
    ]


def live_probe(wine, failure, skipped):
    """--audit --probe after VeskInfo.exe recorded the registry copy's identity, and after each
    change to what it stored: one line of JSON within 2,046 bytes, its status and exit status."""
    import scenarios
    if Path("/sys/firmware/dmi/tables/DMI").exists():
        raise skipped("Wine's WMI would hand over this machine's own table")
    with tempfile.TemporaryDirectory() as scratch:
        (Path(scratch) / "long.bin").write_bytes(long_table())
        texts, code, stored, _ = scenarios.run(wine, SAMPLES / "type208.bin")
        if code != 0 or stored[0] is None:
            raise failure("VeskInfo.exe did not store the values: exit %d, %r" % (code, stored))
        put_back = [("delete", "32", SYSINFO_KEY), ("delete", "64", SYSINFO_KEY),
                    ("setbin", "64", SMBIOS_KEY, "SMBiosData",
                     windows_path(SAMPLES / "type208.bin"))] + [
            ("setsz", "32", SYSINFO_KEY, n, data[:-1].decode("latin-1"))
            for n, (_, data) in stored[0].items()]
        seen = []
        for name, commands, status, exit_status, values in probe_cases(Path(scratch) / "long.bin"):
            wine.regtool(*(put_back + commands))
            code, out, err = run_windows(wine, ["--audit", "--probe"], scratch)
            print("%s: exit %d: %s" % (name, code, out.decode("latin-1").rstrip("\n")))
            line = json.loads(out or "null") or {"stored": {}, "expected": {}}
            texts = list(line["stored"].values()) + list(line["expected"].values())
            shown = "cut" if all(str(t).endswith("\u2026") for t in texts) else \
                [v if v is None else v.encode("latin-1") for v in line["stored"].values()]
            if (code, line.get("status"), shown, out.count(b"\n"), line.get("source")) != (
                    exit_status, status, values or NOTEBOOK_VALUES, 1, "registry") \
                    or len(out) - 1 > 2046 or not line["machine"]:
                raise failure("%s: exit %d, %r %r" % (name, code, out, err))
            seen.append("%s: %s (%d bytes)" % (name, line["status"], len(out) - 1))
        wine.regtool(("delete", "64", SYSINFO_KEY))
    return "; ".join(seen)


# --- the repair ---------------------------------------------------------------------------------

def repair_state(wine):
    """The regtool commands that put the notebook identity back, stored and in the registry copy,
    with Wine's own locator."""
    put_back = [("delete", "32", SYSINFO_KEY), ("delete", "64", SYSINFO_KEY),
                ("setbin", "64", SMBIOS_KEY, "SMBiosData", windows_path(SAMPLES / "type208.bin"))]
    return put_back + wine._locator_commands(WINE_LOCATOR) + [
        ("setsz", "32", SYSINFO_KEY, n, v.decode()) for n, v in zip(NAMES, NOTEBOOK_VALUES)]


def run_repair(wine, failure, folder, program, commands, exit_status, statuses, kept, said=None):
    """--repair from `folder`, with `program` (or nothing) put there as VeskInfo.exe, after the
    regtool commands: checks the exit status, the lines' statuses, whether the stored values are
    byte for byte what they were, and that the last line's "error" starts with `said`."""
    target = Path(folder) / "VeskInfo.exe"
    if program is None:
        target.unlink(missing_ok=True)
    else:
        shutil.copy(program, target)
    dump = ("dump", "32", SYSINFO_KEY)
    before = wine.regtool(*(repair_state(wine) + commands), dump)[("32", SYSINFO_KEY)]
    done = wine.run([Path(folder) / "veskinfo-inspect.exe", "--repair"], timeout=600, cwd=folder)
    after = wine.regtool(dump)[("32", SYSINFO_KEY)]
    lines = [json.loads(line) for line in done.stdout.decode("latin-1").splitlines()]
    error = (lines[-1].get("error") or "") if lines else ""
    if (done.returncode, [line["status"] for line in lines], before == after) != (
            exit_status, statuses, kept) or (said is not None and not error.lower().startswith(said)):
        raise failure("%s\nstored before %r, after %r" % (done.describe(), before, after))
    return done, error


def repair(wine, failure, skipped):
    """--repair from a folder holding the inspector (and VeskInfo.exe): VeskInfo runs only where
    it mends the values, never without a table nor where the table gives the fall-backs for
    values that are stored, and the last line says how it ended."""
    if Path("/sys/firmware/dmi/tables/DMI").exists():
        raise skipped("Wine's WMI would hand over this machine's own table")
    changed = ("setsz", "32", SYSINFO_KEY, "SystemIdHex", "B12")
    no_markers = ("setbin", "64", SMBIOS_KEY, "SMBiosData", windows_path(SAMPLES / "no-markers.bin"))
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(inspector(wine), folder)
        missing = windows_path(Path(folder) / "VeskInfo.exe").lower() + ": not found"
        cases = [  # VeskInfo.exe beside the inspector, regtool commands after the put-back, exit
            # status, the lines' statuses, the stored values left as they were, the last line's
            # error. The last runs VeskInfo.
            ("VeskInfo.exe missing", None, [changed], 2, ["differs", "error"], True, missing),
            ("already matching", wine.exe, [], 0, ["match"], True, None),
            ("no table source", wine.exe, [changed, ("delvalue", "64", SMBIOS_KEY, "SMBiosData")],
             2, ["no-table"], True, None),
            # The key missing is an answer without a table: VeskInfo would store empty values.
            ("no registry copy's key", wine.exe, [changed, ("delete", "64", SMBIOS_KEY)], 2,
             ["no-table"], True, None),
            # A table without OEM strings: VeskInfo would store "0" and "00000" over good values.
            ("a table without markers", wine.exe, [no_markers], 2, ["differs"], True,
             "veskinfo was not started: this machine's table gives no systemidhex, regulatoryid"),
            ("a changed value", wine.exe, [changed], 0, ["differs", "match"], False, None)]
        seen = []
        for name, program, commands, exit_status, statuses, kept, said in cases:
            try:
                run_repair(wine, failure, folder, program, commands, exit_status, statuses, kept,
                           said)
            except Exception as problem:
                raise failure("%s: %s" % (name, problem)) from problem
            seen.append("%s: exit %d, %s" % (name, exit_status, " then ".join(statuses)))
    return "; ".join(seen)


def repair_never_ending(wine, failure, skipped):
    """--repair with a VeskInfo.exe that never ends and starts another program that never ends
    (tools/hang.c): after 120 s both are ended, the last line is an error saying so, and the
    stored values are as they were."""
    if Path("/sys/firmware/dmi/tables/DMI").exists():
        raise skipped("Wine's WMI would hand over this machine's own table")
    changed = ("setsz", "32", SYSINFO_KEY, "SystemIdHex", "B12")
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(inspector(wine), folder)
        started = time.monotonic()
        _, error = run_repair(wine, failure, folder, wine.build / "tools" / "hang.exe", [changed],
                              2, ["differs", "error"], True)
        took = time.monotonic() - started
        if error != "VeskInfo did not finish in 120 s; nothing else was changed" or took < 120:
            raise failure("after %.0f s, the last line's error %r" % (took, error))
        beats = [Path(folder) / ("hang-%s.beat" % role) for role in ("parent", "child")]
        sizes = [path.stat().st_size if path.exists() else 0 for path in beats]
        time.sleep(2)
        later = [path.stat().st_size if path.exists() else 0 for path in beats]
        if 0 in sizes or sizes != later:
            raise failure("the program and the one it started wrote %r bytes, then %r 2 s later: "
                          "not both ran, or one still runs" % (sizes, later))
    return "ended after %.0f s, with the program it started" % took


# --- the 32-bit build -----------------------------------------------------------------------------

def inspector_x86(wine):
    return wine.build / "inspect" / "veskinfo-inspect-x86.exe"


def both_builds(wine, args, cwd, env=None):
    """The 64-bit and the 32-bit build's (exit status, standard output, standard error)."""
    env = dict(wine.env, **(env or {}))
    done = [wine.run([program] + [str(a) for a in args], timeout=300, env=env, cwd=cwd,
                     loader=loader)
            for program, loader in ((inspector(wine), "wine64"), (inspector_x86(wine), "wine"))]
    return [(d.returncode, d.stdout, d.stderr) for d in done]


def x86_agrees(wine, failure, skipped):
    """The 32-bit build in the 64-bit prefix answers as the 64-bit build does: on every sample
    and test table as one batch, and in the live probe after VeskInfo.exe stored its values and
    after each change to them, the values only in the 64-bit view among them. (WMI's table in a
    32-bit process is the wmi_* scenarios' case: VeskInfo.exe runs the same source code.)"""
    if Path("/sys/firmware/dmi/tables/DMI").exists():
        raise skipped("Wine's WMI would hand over this machine's own table")
    import scenarios
    differing = []
    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(scratch)
        (folder / "tables").mkdir()
        file_inputs(folder / "tables")
        runs = [("a batch of every table", ["--json", "tables"], None, [])]
        texts, code, stored, _ = scenarios.run(wine, SAMPLES / "type208.bin")
        if code != 0 or stored[0] is None:
            raise failure("VeskInfo.exe did not store the values: exit %d, %r" % (code, stored))
        put_back = [("delete", "32", SYSINFO_KEY), ("delete", "64", SYSINFO_KEY)] + [
            ("setsz", "32", SYSINFO_KEY, n, data[:-1].decode("latin-1"))
            for n, (_, data) in stored[0].items()]
        runs += [("the probe, " + name, ["--audit", "--probe"], status, put_back + commands)
                 for name, commands, status, _, _ in probe_cases(folder / "long.bin")[:5]]
        for what, args, status, commands in runs:
            if commands:
                wine.regtool(*commands)
            ours, theirs = both_builds(wine, args, folder)
            line = json.loads(ours[1] or "null") if status else {}
            if ours != theirs or ours[0] is None or (status and line.get("status") != status):
                differing.append("%s: 64-bit %r, 32-bit %r" % (what, ours, theirs))
        wine.regtool(("delete", "64", SYSINFO_KEY))
    if differing:
        raise failure("the builds differ:\n" + "\n".join(differing))
    return "%d runs of each build agree (probe: %s)" % (len(runs), ", ".join(
        r[2] for r in runs[1:]))


def x86_in_32bit_prefix(wine32, failure):
    """In a 32-bit prefix (32-bit Windows): the package installs the 32-bit inspector and not the
    64-bit one, VeskInfo records the identity as the package runs it, and the installed
    inspector's probe and repair work there. The package is removed afterwards."""
    package = wine32.build / "msi" / "VeskInfo.msi"
    folder = Path(wine32.env["WINEPREFIX"]) / "drive_c/Program Files/Vesk Computer Corporation/VeskInfo"
    installed = folder / "veskinfo-inspect-x86.exe"
    wine32.regtool(("delete", "32", SYSINFO_KEY),
                   ("setbin", "32", SMBIOS_KEY, "SMBiosData", windows_path(DESKTOP)))
    code = wine32.run(["msiexec", "/i", windows_path(package), "/qn"], loader="wine").returncode
    try:
        if code != 0 or not installed.exists() or (folder / "veskinfo-inspect.exe").exists():
            raise failure("msiexec exit %s; installed: %s" % (
                code, sorted(p.name for p in folder.glob("*")) if folder.exists() else "nothing"))
        probe = wine32.run([installed, "--audit", "--probe"], loader="wine", cwd=folder)
        line = json.loads(probe.stdout or "null") or {}
        wine32.regtool(("setsz", "32", SYSINFO_KEY, "SystemIdHex", "B12"))
        repaired = wine32.run([installed, "--repair"], loader="wine", timeout=600, cwd=folder)
        lines = [json.loads(text) for text in repaired.stdout.decode("latin-1").splitlines()]
        if (probe.returncode, line.get("status"), line.get("expected", {}).get("system_id")) != (
                0, "match", "A47") or (repaired.returncode, [ln["status"] for ln in lines]) != (
                0, ["differs", "match"]):
            raise failure("the installed 32-bit inspector: %s\n%s" % (probe.describe(),
                                                                     repaired.describe()))
    finally:
        wine32.run(["msiexec", "/x", windows_path(package), "/qn"], loader="wine")
    return "32-bit prefix: the package installed veskinfo-inspect-x86.exe alone; probe match, " \
           "repair differs then match"


SCENARIOS = {"inspect_" + f.__name__: f for f in
             [files_agree, unicode_names, live_sources, live_audit, live_probe, repair,
              repair_never_ending, x86_agrees]}
