"""End-to-end scenarios: VeskInfo.exe under Wine, each from a clean state. Each asserts the
exact sequence of debug texts, the exit code and the stored values as bytes. The wmi_*
scenarios serve the table through the test locator (tools/wmilocator.cpp) and also assert what
it saw: the calls in order, no argument other than expected and no reference left held.

Usage: scenarios.py BUILD_DIR WINE_DIR SCENARIO (exit 0 passed, 1 failed, 77 skipped)
       scenarios.py --list                    (the scenario names, one a line)
A scenario runs in the prefix CTest allotted it (else WINE_DIR/win64). CTest runs them between
the start and the stop of the layer's persistent wineservers (the fixture in CMakeLists.txt);
by hand, `winerun.py start|stop BUILD_DIR PREFIX...` does the same."""
import subprocess
import sys
import tempfile
import traceback
from pathlib import Path

import installer
import inspect_scenarios
import peinfo
from checks import (DESKTOP, NOTEBOOK, SAMPLES, SYSTEM_IMPORTS, Failure, Skipped, check,
                    check_stored, skip_where_wmi_has_a_table)
from winerun import WINEDEBUG, prefix_for_test, SYSINFO_KEY, Wine, emulated_i386, windows_path

sys.path.insert(0, str(SAMPLES))
import make_samples as ms  # noqa: E402

SKIPPED = 77

BANNER = b"VeskInfo ---------------------------------->"
CREATED = b"CWMIInterface::Connect CoCreateInstance ok\n"
CONNECTED = b"CWMIInterface::Connect ConnectServer ok\n"
BLANKET = b"CWMIInterface::Connect CoSetProxyBlanket ok\n"
INFO_CALLED = b"CWMIInterface::GetSMBIOSInfo called\n"
ENUM_OK = b"CWMIInterface::GetSMBIOSInfo CreateInstanceEnum Ok\n"
NEXT_OK = b"CWMIInterface::GetSMBIOSInfo Next Ok\n"
ACTIVE_OK = b"CWMIInterface::GetSMBIOSInfo Active Ok\n"
DATA_OK = b"CWMIInterface::SMBiosData InstanceName Ok\n"
WMI_UP_TO_DATA = [CREATED, CONNECTED, BLANKET, INFO_CALLED, ENUM_OK, NEXT_OK, ACTIVE_OK, DATA_OK]

def os_lines(major=6, minor=1):
    return [b"c_Init -> IsOSMisMatch", b"CgOS   ->  LoadOSVersion ID:   2",
            b"CgOS   ->  LoadOSVersion Major:%d" % major, b"CgOS   ->  LoadOSVersion Minor:%d" % minor]


def value_lines(manufacturer, system_id, regulatory):
    return [b"VeskInfo - szManufacturer [" + manufacturer + b"]",
            b"VeskInfo - szSystemIdHex  [" + system_id + b"]",
            b"VeskInfo - szRegulatoryID [" + regulatory + b"]"]


def full_trace(identity, stored=None, bits=64, minor=1, wmi=WMI_UP_TO_DATA):
    """The trace of a run on a supported system. By default WMI answers without a table (as
    Wine's own does in a container) and the registry copy answers."""
    stored = identity if stored is None else stored
    return ([BANNER] + os_lines(6, minor) + [b"         -  Win %d OS" % bits] + wmi
            + value_lines(*identity) + [b"VeskInfo - dSaveVeskInfoRegistryData",
                                        b"VeskInfo - dLoadVeskInfoRegistryData"]
            + value_lines(*[t.lower() for t in stored]))


def check_trace(actual, expected):
    if actual == expected:
        return
    lines = ["debug texts differ (- expected, + actual):"]
    for i in range(max(len(actual), len(expected))):
        e = expected[i] if i < len(expected) else None
        a = actual[i] if i < len(actual) else None
        lines.append(("  " if e == a else "! ") + "%2d - %r" % (i, e))
        if e != a:
            lines.append("     + %r" % (a,))
    raise Failure("\n".join(lines))


def run(wine, table, args=(), env=None, program=None, **seed):
    """Seeds the registry in one helper run, runs the program, and reads back (restoring Wine's
    own locator and version) in one more, whatever happened in between. Returns
    (texts, exit code, (32-bit values, 64-bit values), standard error)."""
    try:
        wine.seed(table, **seed)
        texts, code, errors = wine.capture(program=program, args=args, env=env)
    finally:
        stored = wine.read_back()
    return texts, code, stored, errors


def run_sample(wine, sample, identity, args=(), stored=None, values=None, version=None, minor=1):
    skip_where_wmi_has_a_table()
    table = SAMPLES / sample if isinstance(sample, str) and sample.endswith(".bin") else sample
    texts, code, values_read, _ = run(wine, table, args=args, values=values, version=version)
    check(code == 0, "exit code %d, expected 0" % code)
    check_trace(texts, full_trace(identity, stored, minor=minor))
    check_stored(values_read, identity if stored is None else stored)


# --- scenarios with Wine's own WMI ------------------------------------------------------------

def desktop_with_arguments(wine):
    """A normal run on the typical desktop table; command-line arguments change nothing."""
    run_sample(wine, "desktop.bin", DESKTOP, args=["/quiet", "--table=none", "x y"])


def type208_overwrites(wine):
    """Values already stored (longer ones) are overwritten; the identifier from type 208."""
    older = "an older and longer value"
    run_sample(wine, "type208.bin", NOTEBOOK,
               values={"SystemIdHex": older, "RegulatoryID": older, "System Manufacturer": older})


def no_markers(wine):
    run_sample(wine, "no-markers.bin", (b"Quarry Lane Systems", b"0", b"00000"))


def registry_header(wine):
    run_sample(wine, "registry-header.bin", (b"Vesk Computer Corporation", b"1F", b"VCC-D7600"))


def key_absent(wine):
    """No registry copy at all: the defaults are stored."""
    run_sample(wine, "no-key", (b"", b"0", b"00000"))


def value_absent(wine):
    """The key without its value: no source answers and three empty values are stored."""
    run_sample(wine, "no-value", (b"", b"", b""))


def value_empty(wine):
    with tempfile.NamedTemporaryFile(suffix=".bin") as empty:
        run_sample(wine, Path(empty.name), (b"", b"", b""))


def unsupported_version(wine):
    """Reported as Windows XP: four version lines, the refusal, exit -1, nothing written."""
    texts, code, stored, _ = run(wine, SAMPLES / "desktop.bin", version="winxp")
    check(code == -1, "exit code %d, expected -1" % code)
    check_trace(texts, [BANNER] + os_lines(5, 1) + [b"VeskInfo = Not Vista OS"])
    check(stored == (None, None), "nothing may be written: %r" % (stored,))


def executable_resources(wine):
    """The executable asks for administrator rights and carries the version numbers."""
    info = peinfo.read(wine.exe)
    check(info["machine"] == 0x14C, "not a 32-bit x86 executable: machine %#x" % info["machine"])
    check(info["subsystem"] == 2, "not a GUI-subsystem executable: %d" % info["subsystem"])
    check(info["file_version"] == (11, 1, 1, 1), "file version %r" % (info["file_version"],))
    check(info["product_version"] == (11, 1, 1, 0), "product version %r" % (info["product_version"],))
    manifest = info["manifest"]
    for needle in (b'level="requireAdministrator"', b'uiAccess="false"', b'version="11.1.0.0"',
                   b'processorArchitecture="X86"', b'name="VeskInfo"', b'type="win32"',
                   b"<description>Manifest for VeskInfo</description>"):
        check(needle in manifest, "manifest lacks %r" % needle)
    check(not set(info["imports"]) - SYSTEM_IMPORTS, "unexpected DLL dependencies %r" % info["imports"])


def windows10(wine):
    """Windows 10 and 11 tell a program whose manifest declares no newer system that they are
    6.2, as does Wine set to Windows 10: the run goes on as on any version 6."""
    run_sample(wine, "desktop.bin", DESKTOP, version="win10", minor=2)


def win32_prefix(wine):
    """In a 32-bit prefix there is no WoW64 directory: "Win 32 OS", and the run goes on the same.
    Then the package and the 32-bit inspector there."""
    if emulated_i386():
        raise Skipped("a 32-bit Wine prefix cannot be created where 32-bit code is emulated "
                      "(its set-up crashes under the emulator)")
    prefix32 = Path(wine.env["WINEPREFIX"]).parent / "win32"
    wine32 = Wine(wine.build, prefix32, helpers_64bit=False)
    wine32.env["WINEARCH"] = "win32"
    try:
        if not (prefix32 / "system.reg").exists():
            subprocess.run(["wineboot", "-i"], env=wine32.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        texts, code, stored, _ = run(wine32, SAMPLES / "desktop.bin")
        check(code == 0, "exit code %d" % code)
        check_trace(texts, full_trace(DESKTOP, bits=32))
        check(stored[0] is not None and stored[0]["SystemIdHex"] == (1, b"A47\0"),
              "stored values %r" % (stored,))
        return inspect_scenarios.x86_in_32bit_prefix(wine32, Failure)
    finally:
        wine32.finish()


# --- scenarios with the test locator ----------------------------------------------------------

def large_table():
    """A table just over 64 KiB (longer than a 16-bit count holds) whose identity comes last:
    OEM-specific structures with long strings stand between the system information and the
    OEM strings."""
    t = ms.Table()
    t.add(ms.bios_information, "Vesk Firmware", "VW6.40.1", "01/08/2025")
    t.add(ms.system_information, ms.MAKER, "Vesk Workstation 64", "Rev C01", "VKW64C0042",
          bytes(range(16)), "VW64-EU", "Vesk Workstation")
    while len(t.bytes()) < 64 * 1024:
        filler = ms.Strings()
        filler.add("%04d " % t.next_handle() + "x" * 250)
        t.add(lambda handle: ms.structure(0x80, handle, bytes(12), filler))
    t.add(ms.oem_strings, ["Vesk Workstation platform 1", "1[0C40]", "13[VCC-W6400]"])
    t.add(ms.end_of_table)
    return t.bytes()


LARGE = (b"Vesk Computer Corporation", b"C40", b"VCC-W6400")

# The stages of the WMI read: the locator's name of the stage, the texts traced once it
# succeeded, and the calls the locator sees for it (the first is the one a fault fails).
STAGES = [
    ("ClassObject", [CREATED], ["ClassObject", "CreateInstance"]),
    ("ConnectServer", [CONNECTED], ["ConnectServer"]),
    ("SetBlanket", [BLANKET, INFO_CALLED], ["SetBlanket"]),
    ("CreateInstanceEnum", [ENUM_OK], ["CreateInstanceEnum"]),
    ("Next", [NEXT_OK, ACTIVE_OK], ["Next", "Get Active"]),
    ("Get", [DATA_OK], ["Get SMBiosData"]),
]
CONNECT_STAGES = ("ClassObject", "ConnectServer", "SetBlanket")

# One case a scenario: what the locator serves, at most one fault (stage, HRESULT) or data
# shape. The registry copy always holds the notebook table, so the identity stored shows which
# source answered.
WMI_CASES = {
    "wmi_table": {"reg_query": True, "relay": True},
    "wmi_large_table": {"table": "large"},
    "wmi_class_object_fails": {"fault": ("ClassObject", 0x80040111)},  # CLASS_E_CLASSNOTAVAILABLE
    "wmi_connect_server_fails": {"fault": ("ConnectServer", 0x8004100E)},  # INVALID_NAMESPACE
    "wmi_set_blanket_fails": {"fault": ("SetBlanket", 0x80070005)},  # E_ACCESSDENIED
    "wmi_enum_fails": {"fault": ("CreateInstanceEnum", 0x80041010)},  # WBEM_E_INVALID_CLASS
    "wmi_enum_other_success": {"fault": ("CreateInstanceEnum", 0x00000001)},  # WBEM_S_FALSE
    "wmi_next_fails": {"fault": ("Next", 0x80041001)},  # WBEM_E_FAILED
    "wmi_next_no_object": {"fault": ("Next", 0x00000001)},  # WBEM_S_FALSE, no object
    "wmi_data_get_fails": {"fault": ("Get", 0x80041002)},  # WBEM_E_NOT_FOUND
    "wmi_data_null": {"shape": "null"},
    "wmi_data_bstr": {"shape": "bstr"},
    "wmi_data_signed_bytes": {"shape": "i1"},
    "wmi_data_empty_array": {"shape": "empty"},
    "wmi_data_two_dimensions": {"shape": "2d"},
}


def signed32(value):
    return value - (1 << 32) if value & 0x80000000 else value


def wmi_expectation(fault):
    """The WMI texts and the locator's calls when `fault` (stage, HRESULT) or nothing fails."""
    texts, calls = [], []
    for stage, stage_texts, stage_calls in STAGES:
        if fault is not None and fault[0] == stage:
            calls.append(stage_calls[0])
            if stage in CONNECT_STAGES and fault[1] & 0x80000000:
                texts.append(b"Error code: %d\n" % signed32(fault[1]))
            return texts, calls
        texts += stage_texts
        calls += stage_calls
    return texts, calls


def read_locator_log(log):
    """(calls, departures, held line) from the locator's log."""
    check(log.exists(), "the locator left no log: the program did not load it")
    lines = log.read_text(encoding="latin-1").splitlines()
    calls = [line[5:] for line in lines if line.startswith("call ")]
    departures = [line for line in lines if not line.startswith(("call ", "held "))]
    held = [line for line in lines if line.startswith("held ")]
    return calls, departures, held


def check_reg_query(wine, identity):
    """Wine's own reg.exe lists the three values as REG_SZ with the stored texts."""
    status, output = wine.reg_query("HKLM\\" + SYSINFO_KEY, "/reg:32")
    check(status == 0, "reg query failed (%d): %s" % (status, output))
    listed = {}
    for line in output.splitlines():
        fields = line.strip().split("    ")
        if len(fields) == 3:
            listed[fields[0]] = (fields[1], fields[2].encode("latin-1"))
    manufacturer, system_id, regulatory = identity
    expected = {"System Manufacturer": ("REG_SZ", manufacturer), "SystemIdHex": ("REG_SZ", system_id),
                "RegulatoryID": ("REG_SZ", regulatory)}
    check(listed == expected, "reg query lists %r, expected %r" % (listed, expected))


def locator_run(wine, config, registry_table, program=None, relay=False, large=False):
    """Runs the program with the test locator configured by `config` (lines naming the fault,
    shape and so on) serving the desktop table, or with `large` the large one, and with
    `registry_table` as the registry copy. Wine's registry trace shows whether the program
    opened the registry copy; with `relay`, Wine's relay trace shows the calls RELAYED names.
    Returns run()'s results and the locator's log as read_locator_log gives it."""
    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        served = scratch / "served.bin"
        served.write_bytes(large_table() if large else (SAMPLES / "desktop.bin").read_bytes())
        log = scratch / "locator.log"
        lines = ["log " + windows_path(log), "table " + windows_path(served)]
        (scratch / "locator.cfg").write_text("\n".join(lines + config) + "\n")
        env = {"VESK_WMI_LOCATOR": windows_path(scratch / "locator.cfg"),
               "WINEDEBUG": WINEDEBUG + ",trace+reg" + (",+relay" if relay else "")}
        results = run(wine, registry_table, locator=wine.build / "tools" / "wmilocator.dll",
                      env=env, program=program, relay=RELAYED if relay else None)
        return results, read_locator_log(log)


def wmi_scenario(wine, case):
    fault, shape = case.get("fault"), case.get("shape")
    large = case.get("table") == "large"
    config = ["fault %s 0x%08X" % fault] if fault else []
    config += ["shape " + shape] if shape else []
    relay = case.get("relay", False)
    (texts, code, stored, errors), (calls, departures, held) = locator_run(
        wine, config, SAMPLES / "type208.bin", relay=relay, large=large)

    wmi_texts, expected_calls = wmi_expectation(fault)
    falls_back = bool(fault or shape)
    identity = NOTEBOOK if falls_back else LARGE if large else DESKTOP
    check(code == 0, "exit code %d, expected 0" % code)
    check_trace(texts, full_trace(identity, wmi=wmi_texts))
    check_stored(stored, identity)
    check(("mssmbios" in errors.lower()) == falls_back,
          "the registry copy was %s" % ("not read" if falls_back else "read"))
    check((calls, departures, held) == (expected_calls, [], ["held 0"]),
          "the locator saw calls %r (expected %r), references %r at exit (expected held 0), "
          "and these arguments other than expected: %r" % (calls, expected_calls, held, departures))
    if case.get("reg_query"):
        check_reg_query(wine, identity)
    note = ""
    if relay:
        note = ", " + check_dll_search_restricted(errors)
    last = [text for text in texts if text.startswith((b"CWMI", b"Error"))][-1]
    return "last WMI text %r, locator %s, stored %s%s" % (last, held[0], identity[1].decode(), note)


# The calls Wine's relay trace shows: the restriction of the DLL search and the first calls
# that load libraries (the 64-bit probe's LoadLibraryA, then COM).
RELAYED = "SetDefaultDllDirectories;SetDllDirectoryA;LoadLibraryA;CoInitializeEx;CoCreateInstance"


def check_dll_search_restricted(errors):
    """The relay trace shows SetDefaultDllDirectories called with the system-directory flag
    (0x800) before the probe loads kernel32 and before the COM work, and no fall-back."""
    calls = [line.split(":Call ", 1)[1] for line in errors.splitlines() if ":Call " in line]
    names = [call.split("(", 1)[0].split(".")[-1] for call in calls]
    check("SetDefaultDllDirectories" in names, "no SetDefaultDllDirectories in the relay trace: %r"
          % calls[:20])
    first = names.index("SetDefaultDllDirectories")
    check(calls[first].split("(", 1)[1].startswith("00000800)"),
          "SetDefaultDllDirectories called with other flags: %r" % calls[first])
    probe = [i for i, call in enumerate(calls) if call.split("(")[0].endswith("LoadLibraryA")
             and '"kernel32.dll"' in call.lower()]
    com = [i for i, name in enumerate(names) if name in ("CoInitializeEx", "CoCreateInstance")]
    check(probe and com and first < min(probe + com),
          "the restriction (call %d) does not come before the probe %r and COM %r" % (first, probe, com))
    check("SetDllDirectoryA" not in names, "the fall-back was called as well")
    return "relay: %s before %s" % (calls[first].split(" ret=")[0], calls[min(com)].split(" ret=")[0])


def out_of_memory_released(wine):
    """The released executable (stripped, linked with no SEH handlers: C++ exceptions unwind
    with DWARF tables) where the registry copy's block cannot be allocated: the out-of-memory
    exception escapes the work to the entry's guard, and the exit code is -1 with nothing
    stored. The locator fails ConnectServer after leaving no free address space for a block of
    the registry copy's size (4 MiB)."""
    with tempfile.TemporaryDirectory() as scratch:
        table = Path(scratch) / "large-copy.bin"
        table.write_bytes((SAMPLES / "desktop.bin").read_bytes().ljust(4 << 20, b"\0"))
        (texts, code, stored, errors), (calls, departures, held) = locator_run(
            wine, ["fault ConnectServer 0x8004100E", "exhaust 0x180000"], table,
            program=wine.build / "release" / "VeskInfo.exe")
    exhausted = [int(line.split()[1]) for line in departures if line.startswith("exhausted ")]
    departures = [line for line in departures if not line.startswith("exhausted ")]
    check(exhausted and exhausted[0] > 64 << 20,
          "the locator did not take the address space: %r" % exhausted)
    check(code == -1, "exit code %d, expected -1" % code)
    check_trace(texts, [BANNER] + os_lines() + [b"         -  Win 64 OS", CREATED,
                                                 b"Error code: -2147217394\n"])
    check("mssmbios" in errors.lower(), "the registry copy was not read")
    check(stored == (None, None), "nothing may be written: %r" % (stored,))
    check((calls, departures, held) == (["ClassObject", "CreateInstance", "ConnectServer"], [],
                                        ["held 0"]),
          "the locator saw %r, %r, %r" % (calls, departures, held))
    return "exit -1 after the locator reserved %d MiB" % (exhausted[0] >> 20)


SCENARIOS = {f.__name__: f for f in [
    executable_resources, desktop_with_arguments, type208_overwrites, no_markers, registry_header,
    key_absent, value_absent, value_empty, unsupported_version, windows10, win32_prefix,
    out_of_memory_released]}
SCENARIOS.update({name: (lambda wine, case=case: wmi_scenario(wine, case))
                  for name, case in WMI_CASES.items()})
SCENARIOS.update(installer.SCENARIOS)
SCENARIOS.update({name: (lambda wine, f=f: f(wine, Failure, Skipped))
                  for name, f in inspect_scenarios.SCENARIOS.items()})


def main():
    if sys.argv[1:] == ["--list"]:
        print("\n".join(SCENARIOS))
        return 0
    build, wine_dir, name = sys.argv[1:4]
    wine = Wine(build, prefix_for_test(wine_dir))
    try:
        note = SCENARIOS[name](wine)
    except Failure as failure:
        print("FAILED %s: %s" % (name, failure))
        print("The scenario's failed runs and its last:\n" + wine.failed_runs())
        return 1
    except Skipped as reason:
        print("SKIPPED %s: %s" % (name, reason))
        return SKIPPED
    except Exception:  # noqa: BLE001 -- a helper's failure, told in full
        print("FAILED %s:\n%s" % (name, traceback.format_exc()))
        print("The scenario's failed runs and its last:\n" + wine.failed_runs())
        return 1
    print("passed %s%s%s" % (name, ": " + note if note else "",
                             " (32-bit code emulated)" if emulated_i386() else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
