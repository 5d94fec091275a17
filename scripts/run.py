"""One run of VeskInfo.exe under Wine on a raw table: usage run.py BUILD_DIR PREFIX TABLE."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from winerun import SYSINFO_KEY, Wine, emulated_i386  # noqa: E402


def main():
    build, prefix, table = sys.argv[1:4]
    wine = Wine(build, prefix)
    print("table: %s (%d bytes), seeded as the registry copy of the SMBIOS table"
          % (table, Path(table).stat().st_size))
    if emulated_i386():
        print("note: 32-bit code is emulated on this machine; the run takes a minute or two")
    wine.seed(Path(table))
    texts, code, _ = wine.capture()
    print("\ndebug output of VeskInfo.exe:")
    for text in texts:
        print("  " + repr(text)[2:-1])
    print("\nexit code: %d" % code)
    values = wine.stored_values("32")
    print("\nstored under HKLM\\%s (32-bit view):" % SYSINFO_KEY)
    if values is None:
        print("  nothing: the key does not exist")
        return 1
    for name in ("System Manufacturer", "SystemIdHex", "RegulatoryID"):
        if name not in values:
            print("  %-20s (absent)" % name)
            continue
        vtype, data = values[name]
        text = data[:-1] if data.endswith(b"\0") else data
        print("  %-20s type %d, %2d bytes: %-30r hex %s" % (name, vtype, len(data),
                                                           text.decode("latin-1"), data.hex(" ")))
    if all(name in values and values[name][1].rstrip(b"\0") == b"" for name in values):
        print("\nnote: every stored value is empty: no source answered with a table")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
