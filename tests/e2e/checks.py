"""What the end-to-end scenarios share: the sample tables' identities, the outcome exceptions and
the check of the stored values, the libraries the program may import, and the build's versions."""
import re
from pathlib import Path

from winerun import ROOT

SAMPLES = ROOT / "samples"

DESKTOP = (b"Vesk Computer Corporation", b"A47", b"VCC-D7400")  # samples/desktop.bin
NOTEBOOK = (b"Vesk Computer Corporation", b"A5B", b"VCC-N1320")  # samples/type208.bin


# DLLs Windows always loads from the system directory (Known DLLs): nothing planted beside the
# program can stand in for them, so VeskInfo imports from no others.
SYSTEM_IMPORTS = {"ADVAPI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL", "OLE32.DLL", "OLEAUT32.DLL"}


def build_versions(build):
    """The version numbers a build generated its header from: {"FILE": ..., "PRODUCT": ...}."""
    text = (Path(build) / "generated" / "Version.h").read_text()
    return {name: re.search(r'#define VESK_%s_VERSION_TEXT "([0-9.]+)"' % name, text).group(1)
            for name in ("FILE", "PRODUCT")}


class Failure(Exception):
    pass


class Skipped(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_stored(stored, identity):
    """The three values are REG_SZ in the 32-bit view holding exactly the texts, and the 64-bit
    view has no such key. Windows NT and Wine keep a zero after a REG_SZ text written without
    one when the byte after it is zero, so each value is the text plus one zero byte; an empty
    text is a value of zero bytes."""
    def value(text):
        return (1, text + b"\0" if text else b"")

    values32, values64 = stored
    manufacturer, system_id, regulatory = identity
    expected = {"SystemIdHex": value(system_id), "RegulatoryID": value(regulatory),
                "System Manufacturer": value(manufacturer)}
    check(values32 == expected, "stored values (32-bit view) %r, expected %r" % (values32, expected))
    check(values64 is None, "the key must not exist in the 64-bit view")


def skip_where_wmi_has_a_table():
    """Wine's WMI hands over the machine's own firmware table where the kernel exposes one; a
    run there takes that table instead of the seeded registry copy."""
    try:
        with open("/sys/firmware/dmi/tables/DMI", "rb"):
            raise Skipped("this machine exposes its firmware table, which Wine's WMI would hand "
                          "over instead of the seeded registry copy")
    except OSError:
        pass
