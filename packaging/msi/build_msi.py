#!/usr/bin/env python3
"""Builds the installer package of VeskInfo from an executable and a product version:
    build_msi.py EXE VERSION OUT.msi INSPECTOR INSPECTOR_X86
The executable is installed as VeskInfo.exe whatever its name (the benchmark puts a do-nothing
program in its place); INSPECTOR, the 64-bit veskinfo-inspect.exe, beside it on 64-bit Windows,
and INSPECTOR_X86, the 32-bit veskinfo-inspect-x86.exe, there everywhere else. `make dist`
passes the signed release executables and signs the package afterwards; the tests pass the
Windows build's executable at several versions.

The same inputs give the same bytes: the product code comes from the version, the package code
from the version and the executables' bytes, and every date (the package's summary times, the
file's date inside the cabinet) is SOURCE_DATE_EPOCH, by default the last commit's. wixl takes
its dates from the clock, so it runs under faketime."""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
UPGRADE_CODE = uuid.UUID("ED3C32D8-63E9-4782-8694-D9831E49D892")  # the same in VeskInfo.wxs
SUBJECT = "VeskInfo: records the machine's identity in the registry"
AUTHOR = "Vesk Computer Corporation"
TEMPLATE = "Intel;1033"
# One inspector a machine: the 64-bit one on 64-bit x86 Windows, the 32-bit one elsewhere.
INSPECTOR_CONDITIONS = [("UPDATE `Component` SET `Condition` = '%s' WHERE `Component` = '%s'"
                         % (condition, component))
                        for component, condition in (("InspectorExe", "VersionNT64"),
                                                     ("InspectorX86Exe", "NOT VersionNT64"))]


def check_version(version):
    """Windows Installer compares the first three fields (at most 255.255.65535); a fourth is
    kept but ignored, so two versions that differ only there count as the same."""
    fields = version.split(".")
    if not re.fullmatch(r"\d+(\.\d+){2,3}", version) or int(fields[0]) > 255 or \
            int(fields[1]) > 255 or int(fields[2]) > 65535 or any(int(f) > 65535 for f in fields):
        raise SystemExit("build_msi: %r is no product version (major.minor.build[.revision], "
                         "at most 255.255.65535)" % version)


def codes(version, *executables):
    """(product code, package code) as registry-format GUIDs. A package code names one exact
    package, so it also depends on the executables inside."""
    product = uuid.uuid5(UPGRADE_CODE, "product " + version)
    package = uuid.uuid5(UPGRADE_CODE, "package %s %s" % (
        version, " ".join(hashlib.sha256(data).hexdigest() for data in executables)))
    return "{%s}" % str(product).upper(), "{%s}" % str(package).upper()


def source_date_epoch():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    result = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"],
                            capture_output=True, text=True)
    if result.returncode != 0 or not result.stdout.strip():
        raise SystemExit("build_msi: no git checkout: set SOURCE_DATE_EPOCH (seconds since 1970)")
    return int(result.stdout)


def build(exe, version, out, inspector, inspector_x86):
    check_version(version)
    epoch = source_date_epoch()
    files = {"VeskInfo.exe": Path(exe).read_bytes(),
             "veskinfo-inspect.exe": Path(inspector).read_bytes(),
             "veskinfo-inspect-x86.exe": Path(inspector_x86).read_bytes()}
    product, package = codes(version, *files.values())
    frozen = ["faketime", "-f", time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(epoch))]
    env = dict(os.environ, TZ="UTC")
    with tempfile.TemporaryDirectory(prefix="vesk-msi-") as scratch:
        # The cabinet holds the files' modification dates: copies dated SOURCE_DATE_EPOCH, named
        # relative to the folder wixl runs in (it takes no absolute source path).
        for name, data in files.items():
            staged = Path(scratch) / name
            staged.write_bytes(data)
            os.utime(staged, (epoch, epoch))
        partial = Path(scratch) / "package.msi"
        subprocess.run(frozen + ["wixl", "-a", "x86", "-D", "Version=" + version,
                                 "-D", "ProductCode=" + product, "-D", "PackageCode=" + package,
                                 "-D", "Exe=VeskInfo.exe", "-D", "Inspector=veskinfo-inspect.exe",
                                 "-D", "InspectorX86=veskinfo-inspect-x86.exe",
                                 "-o", str(partial),
                                 str(HERE / "VeskInfo.wxs")], env=env, check=True, cwd=scratch)
        # wixl draws the package code at random whatever the source says, and writes no
        # component condition: set both afterwards.
        for query in INSPECTOR_CONDITIONS:
            subprocess.run(frozen + ["msibuild", str(partial), "-q", query], env=env, check=True)
        subprocess.run(frozen + ["msibuild", str(partial), "-s", SUBJECT, AUTHOR, TEMPLATE,
                                 package], env=env, check=True)
        Path(out).parent.mkdir(parents=True, exist_ok=True)
        shutil.move(str(partial), out)
    return product, package


def main():
    if len(sys.argv) != 6:
        raise SystemExit("usage: build_msi.py EXE VERSION OUT.msi INSPECTOR INSPECTOR_X86")
    build(*sys.argv[1:])
    return 0


if __name__ == "__main__":
    sys.exit(main())
