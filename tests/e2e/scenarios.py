"""End-to-end scenarios: VeskInfo.exe under Wine, each from a clean state. Each asserts the
exact sequence of debug texts, the exit code and the stored values as bytes.

Usage: scenarios.py BUILD_DIR PREFIX SCENARIO   (exit 0 passed, 1 failed, 77 skipped)"""
import subprocess
import sys
import tempfile
from pathlib import Path

import peinfo
from winerun import ROOT, SYSINFO_KEY, Wine, emulated_i386

SAMPLES = ROOT / "samples"
SKIPPED = 77

BANNER = b"VeskInfo ---------------------------------->"
WMI_UP_TO_DATA = [
    b"CWMIInterface::Connect CoCreateInstance ok\n",
    b"CWMIInterface::Connect ConnectServer ok\n",
    b"CWMIInterface::Connect CoSetProxyBlanket ok\n",
    b"CWMIInterface::GetSMBIOSInfo called\n",
    b"CWMIInterface::GetSMBIOSInfo CreateInstanceEnum Ok\n",
    b"CWMIInterface::GetSMBIOSInfo Next Ok\n",
    b"CWMIInterface::GetSMBIOSInfo Active Ok\n",
    b"CWMIInterface::SMBiosData InstanceName Ok\n",
]


def os_lines(major=6, minor=1):
    return [b"c_Init -> IsOSMisMatch", b"CgOS   ->  LoadOSVersion ID:   2",
            b"CgOS   ->  LoadOSVersion Major:%d" % major, b"CgOS   ->  LoadOSVersion Minor:%d" % minor]


def value_lines(manufacturer, system_id, regulatory):
    return [b"VeskInfo - szManufacturer [" + manufacturer + b"]",
            b"VeskInfo - szSystemIdHex  [" + system_id + b"]",
            b"VeskInfo - szRegulatoryID [" + regulatory + b"]"]


def full_trace(identity, stored=None, bits=64, minor=1):
    """The trace of a run on a supported system where WMI has no table (as under Wine in a
    container) and the registry copy answers."""
    stored = identity if stored is None else stored
    return ([BANNER] + os_lines(6, minor) + [b"         -  Win %d OS" % bits] + WMI_UP_TO_DATA
            + value_lines(*identity) + [b"VeskInfo - dSaveVeskInfoRegistryData",
                                        b"VeskInfo - dLoadVeskInfoRegistryData"]
            + value_lines(*[t.lower() for t in stored]))


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


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


def check_stored(wine, identity):
    """The three values are REG_SZ in the 32-bit view holding exactly the texts, and the 64-bit
    view has no such key. Windows NT and Wine keep a zero after a REG_SZ text written without
    one when the byte after it is zero, so each value is the text plus one zero byte; an empty
    text is a value of zero bytes."""
    def stored(text):
        return (1, text + b"\0" if text else b"")

    manufacturer, system_id, regulatory = identity
    values = wine.stored_values("32")
    expected = {"SystemIdHex": stored(system_id), "RegulatoryID": stored(regulatory),
                "System Manufacturer": stored(manufacturer)}
    check(values == expected, "stored values (32-bit view) %r, expected %r" % (values, expected))
    check(wine.stored_values("64") is None, "the key must not exist in the 64-bit view")


class Skipped(Exception):
    pass


def skip_where_wmi_has_a_table():
    """Wine's WMI hands over the machine's own firmware table where the kernel exposes one; a
    run there takes that table instead of the seeded registry copy."""
    try:
        with open("/sys/firmware/dmi/tables/DMI", "rb"):
            raise Skipped("this machine exposes its firmware table, which Wine's WMI would hand "
                          "over instead of the seeded registry copy")
    except OSError:
        pass


def run_sample(wine, sample, identity, args=(), stored=None):
    skip_where_wmi_has_a_table()
    wine.clear_identity()
    wine.seed_table(SAMPLES / sample if isinstance(sample, str) and sample.endswith(".bin") else sample)
    texts, code = wine.capture(args=args)
    check(code == 0, "exit code %d, expected 0" % code)
    check_trace(texts, full_trace(identity, stored))
    check_stored(wine, identity if stored is None else stored)


# --- scenarios ---------------------------------------------------------------------------------

def desktop_with_arguments(wine):
    """A normal run on the typical desktop table; command-line arguments change nothing."""
    run_sample(wine, "desktop.bin", (b"Vesk Computer Corporation", b"A47", b"VCC-D7400"),
               args=["/quiet", "--table=none", "x y"])


def type208_overwrites(wine):
    """Values already stored (longer ones) are overwritten; the identifier from type 208."""
    wine.clear_identity()
    for name in ("SystemIdHex", "RegulatoryID", "System Manufacturer"):
        wine.regtool("setsz", "32", SYSINFO_KEY, name, "an older and longer value")
    skip_where_wmi_has_a_table()
    wine.seed_table(SAMPLES / "type208.bin")
    texts, code = wine.capture()
    identity = (b"Vesk Computer Corporation", b"A5B", b"VCC-N1320")
    check(code == 0, "exit code %d" % code)
    check_trace(texts, full_trace(identity))
    check_stored(wine, identity)


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
    wine.clear_identity()
    wine.seed_table(SAMPLES / "desktop.bin")
    wine.set_version("winxp")
    try:
        texts, code = wine.capture()
    finally:
        wine.set_version(None)
    check(code == -1, "exit code %d, expected -1" % code)
    check_trace(texts, [BANNER] + os_lines(5, 1) + [b"VeskInfo = Not Vista OS"])
    check(wine.stored_values("32") is None, "nothing may be written")


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
    check(not set(info["imports"]) - {"ADVAPI32.DLL", "KERNEL32.DLL", "OLE32.DLL", "OLEAUT32.DLL",
                                      "MSVCRT.DLL", "USER32.DLL"},
          "unexpected DLL dependencies %r" % info["imports"])


def win32_prefix(wine):
    """In a 32-bit prefix there is no WoW64 directory: "Win 32 OS", and the run goes on the same."""
    if emulated_i386():
        raise Skipped("a 32-bit Wine prefix cannot be created where 32-bit code is emulated "
                      "(its set-up crashes under the emulator)")
    prefix32 = Path(wine.env["WINEPREFIX"]).parent / "win32"
    wine32 = Wine(wine.build, prefix32, helpers_64bit=False)
    wine32.env["WINEARCH"] = "win32"
    if not (prefix32 / "system.reg").exists():
        subprocess.run(["wineboot", "-i"], env=wine32.env, capture_output=True, timeout=600)
        wine32.finish()
    try:
        wine32.clear_identity()
        wine32.seed_table(SAMPLES / "desktop.bin")
        texts, code = wine32.capture()
        identity = (b"Vesk Computer Corporation", b"A47", b"VCC-D7400")
        check(code == 0, "exit code %d" % code)
        check_trace(texts, full_trace(identity, bits=32))
        values = wine32.stored_values("32")
        check(values is not None and values["SystemIdHex"] == (1, b"A47\0"),
              "stored values %r" % values)
    finally:
        wine32.finish()


SCENARIOS = {f.__name__: f for f in [
    executable_resources, desktop_with_arguments, type208_overwrites, no_markers, registry_header,
    key_absent, value_absent, value_empty, unsupported_version, win32_prefix]}


def main():
    build, prefix, name = sys.argv[1:4]
    wine = Wine(build, prefix)
    try:
        SCENARIOS[name](wine)
    except Failure as failure:
        print("FAILED %s: %s" % (name, failure))
        return 1
    except Skipped as reason:
        print("SKIPPED %s: %s" % (name, reason))
        return SKIPPED
    finally:
        if name != "executable_resources":
            wine.finish()
    print("passed %s%s" % (name, " (32-bit code emulated)" if emulated_i386() else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
