"""Installer scenarios: the Windows build's packages (build/win/msi/) installed, repaired,
upgraded and removed by Wine's own msiexec, which runs VeskInfo.exe as the custom action.
Every VeskInfo run costs a 32-bit process start, so the steps form two chains, one a prefix,
each step going on from where the one before left it. A step seeds the registry copy of the
table (for a failure, only VeskInfo.exe sees Windows XP and exits -1), runs msiexec /qn with a
verbose log, and checks the exit code, the installed file and folders, the products registered,
the stored values and which custom action the installation script ran with what result.
msiexec's exit code reaches Linux in 8 bits: 1603 as 67, Wine's 1627 for a failed action as 91."""
import re
import shutil
import subprocess
from collections import namedtuple
from pathlib import Path

from checks import (DESKTOP, NOTEBOOK, SAMPLES, Failure, build_versions, check, check_stored,
                    skip_where_wmi_has_a_table)
from winerun import SYSINFO_KEY, SMBIOS_KEY, windows_path

XP_FOR_VESKINFO = r"HKCU\Software\Wine\AppDefaults\VeskInfo.exe"
UNINSTALL_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\%s"
VENDOR_FOLDER = Path("drive_c/Program Files (x86)/Vesk Computer Corporation")
PACKAGES = ("VeskInfo", "VeskInfo-lower")
# msiexec's operation and properties, before and after the package.
INSTALL, REMOVE = ("/i",), ("/x",)
REPAIR = ("/i", "REINSTALL=ALL", "REINSTALLMODE=vomus")  # Wine answers /fa with 1605
IGNORE = ("/i", "VESKINFO_IGNORE_EXIT_CODE=1")

# msiexec's exit codes, as the 8 bits that reach Linux.
SUCCESS, FAILED, REFUSED = 0, 1627 & 0xFF, 1603 & 0xFF

# The custom actions the executed script ran, with their results (1 succeeded, 0 failed).
RAN, RAN_AND_FAILED = [("RunVeskInfo", 1)], [("RunVeskInfo", 0)]
RAN_IGNORING = [("RunVeskInfoIgnoringExitCode", 1)]

# table: the registry copy seeded before the step; xp: VeskInfo alone sees Windows XP;
# installed: the package registered afterwards (None: none); identity: the values stored.
Step = namedtuple("Step", "name package command table xp code installed actions identity")
CHAINS = {
    "msi_install_repair_remove": [
        Step("install", "VeskInfo", INSTALL, "desktop.bin", False, SUCCESS, "VeskInfo", RAN, DESKTOP),
        Step("repair", "VeskInfo", REPAIR, "type208.bin", False, SUCCESS, "VeskInfo", RAN, NOTEBOOK),
        Step("remove", "VeskInfo", REMOVE, "desktop.bin", False, SUCCESS, None, [], NOTEBOOK),
        Step("failure", "VeskInfo", INSTALL, "desktop.bin", True, FAILED, None, RAN_AND_FAILED, NOTEBOOK),
    ],
    "msi_upgrade_downgrade_ignore": [
        Step("install lower", "VeskInfo-lower", INSTALL, "type208.bin", False, SUCCESS, "VeskInfo-lower",
             RAN, NOTEBOOK),
        Step("upgrade", "VeskInfo", INSTALL, "desktop.bin", False, SUCCESS, "VeskInfo", RAN, DESKTOP),
        Step("downgrade", "VeskInfo-lower", INSTALL, "type208.bin", False, REFUSED, "VeskInfo", [], DESKTOP),
        Step("remove", "VeskInfo", REMOVE, "type208.bin", False, SUCCESS, None, [], DESKTOP),
        Step("ignore exit code", "VeskInfo", IGNORE, "type208.bin", True, SUCCESS, "VeskInfo",
             RAN_IGNORING, DESKTOP),
    ],
}


def msi_table(package, table):
    """The rows of one table of a package, as lists of fields (msiinfo export)."""
    text = subprocess.run(["msiinfo", "export", str(package), table], check=True,
                          capture_output=True, text=True).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


def product_code(package):
    return dict(msi_table(package, "Property"))["ProductCode"]


def executed_actions(log):
    """The custom actions that the installation script ran (the part of the log inside
    InstallFinalize), with their return values; the same names appear earlier too, when the
    actions are only written into the script."""
    text = log.read_text(encoding="latin-1")
    script = re.search(r"Action start [\d:]+: InstallFinalize\.(.*?)Action ended [\d:]+: "
                       r"InstallFinalize\.", text, re.S)
    if not script:
        return []
    return [(name, int(value)) for name, value in
            re.findall(r"Action ended [\d:]+: (RunVeskInfo\w*)\. Return value (\d+)\.", script.group(1))]


class Chain:
    def __init__(self, wine, logs):
        self.wine, self.logs = wine, logs
        self.packages = {name: wine.build / "msi" / (name + ".msi") for name in PACKAGES}
        self.codes = {name: product_code(path) for name, path in self.packages.items()}
        self.vendor = Path(wine.env["WINEPREFIX"]) / VENDOR_FOLDER

    def msiexec(self, *args):
        return self.wine.run(["msiexec"] + list(args), timeout=900).returncode

    def registered(self, dumps):
        return {name for name, code in self.codes.items()
                if dumps[("32", UNINSTALL_KEY % code)] is not None}

    def read_back(self):
        """Restores the version VeskInfo sees; returns (stored values in both views, the
        packages registered) from one helper run."""
        dumps = self.wine.regtool(("delvalue", "64", XP_FOR_VESKINFO, "Version"),
                                  ("dump", "32", SYSINFO_KEY), ("dump", "64", SYSINFO_KEY),
                                  *[("dump", "32", UNINSTALL_KEY % c) for c in self.codes.values()])
        return (dumps[("32", SYSINFO_KEY)], dumps[("64", SYSINFO_KEY)]), self.registered(dumps)

    def reset(self):
        """Removes whatever an earlier, interrupted run left installed, and the stored values."""
        for name in self.read_back()[1]:
            self.msiexec("/x", self.codes[name], "/qn")
        shutil.rmtree(self.vendor, ignore_errors=True)
        self.wine.regtool(("delete", "32", SYSINFO_KEY), ("delete", "64", SYSINFO_KEY))

    def run(self, step, number):
        seed = [("delete", "64", SMBIOS_KEY),
                ("setbin", "64", SMBIOS_KEY, "SMBiosData", windows_path(SAMPLES / step.table))]
        if step.xp:
            seed.append(("setsz", "64", XP_FOR_VESKINFO, "Version", "winxp"))
        self.wine.regtool(*seed)
        log = self.logs / ("%d-%s.log" % (number, step.name.replace(" ", "-")))
        try:
            code = self.msiexec(step.command[0], windows_path(self.packages[step.package]),
                                *step.command[1:], "/qn", "/l*v", windows_path(log))
        finally:
            stored, registered = self.read_back()
        return code, stored, registered, executed_actions(log) if log.exists() else None

    def check(self, step, code, stored, registered, actions):
        where = "step %r: " % step.name
        check(code == step.code, where + "msiexec exit code %d, expected %d" % (code, step.code))
        check(registered == ({step.installed} if step.installed else set()),
              where + "packages registered %r, expected %r" % (registered, step.installed))
        check(actions == step.actions, where + "the script ran %r, expected %r" % (actions, step.actions))
        exe = self.vendor / "VeskInfo" / "VeskInfo.exe"
        inspector = self.vendor / "VeskInfo" / "veskinfo-inspect.exe"
        inspector_x86 = self.vendor / "VeskInfo" / "veskinfo-inspect-x86.exe"
        if step.installed:
            check(exe.exists() and exe.read_bytes() == self.wine.exe.read_bytes(),
                  where + "%s is not the build's VeskInfo.exe" % exe)
            # The prefix is 64-bit Windows: the 64-bit inspector is installed beside
            # VeskInfo.exe, and the 32-bit one is not.
            built = self.wine.build / "win64" / "release" / "veskinfo-inspect.exe"
            check(inspector.exists() and inspector.read_bytes() == built.read_bytes(),
                  where + "%s is not the build's veskinfo-inspect.exe" % inspector)
            check(not inspector_x86.exists(), where + "%s installed as well" % inspector_x86)
        else:
            left = [str(p) for p in [self.vendor, *self.vendor.rglob("*")] if p.exists()]
            check(not left, where + "left behind: %s" % left)
        try:
            check_stored(stored, step.identity)
        except Failure as failure:
            raise Failure(where + str(failure))


def run_chain(wine, name, steps):
    """Runs the steps in order; msiexec's logs stay in BUILD/msi-logs/NAME/ for a look."""
    skip_where_wmi_has_a_table()
    notes = []
    logs = wine.build / "msi-logs" / name
    shutil.rmtree(logs, ignore_errors=True)
    logs.mkdir(parents=True)
    chain = Chain(wine, logs)
    chain.reset()
    try:
        for number, step in enumerate(steps):
            code, stored, registered, actions = chain.run(step, number)
            chain.check(step, code, stored, registered, actions)
            notes.append("%s: exit %d, %s, stored %s" % (
                step.name, code, "+".join("%s=%d" % a for a in actions) or "no action",
                stored[0]["SystemIdHex"][1].rstrip(b"\0").decode()))
    finally:
        chain.reset()
    return "; ".join(notes)


# The built package's tables, as the installer reads them. Also checked on the release package.
ACTIONS = [["RunVeskInfo", "3090", "VeskInfoExe", ""],
           ["RunVeskInfoIgnoringExitCode", "3154", "VeskInfoExe", ""]]
CONDITIONS = {"RunVeskInfo": 'NOT REMOVE~="ALL" AND NOT VESKINFO_IGNORE_EXIT_CODE="1"',
              "RunVeskInfoIgnoringExitCode": 'NOT REMOVE~="ALL" AND VESKINFO_IGNORE_EXIT_CODE="1"'}
# One inspector a machine: the 64-bit one on 64-bit x86 Windows, the 32-bit one elsewhere.
COMPONENT_CONDITIONS = {"InspectorExe": "VersionNT64", "InspectorX86Exe": "NOT VersionNT64",
                        "VeskInfoExe": ""}
ORDER = ["FindRelatedProducts", "LaunchConditions", "InstallValidate", "RemoveExistingProducts",
         "InstallInitialize", "InstallFiles", "RunVeskInfo", "RunVeskInfoIgnoringExitCode",
         "InstallFinalize"]


def table_problems(package, version):
    """What is wrong with the package's tables, as a list of texts (empty: nothing)."""
    problems = []

    def expect(what, actual, wanted):
        if actual != wanted:
            problems.append("%s: %r, expected %r" % (what, actual, wanted))

    actions = sorted(row[:4] for row in msi_table(package, "CustomAction"))
    expect("custom actions", actions, ACTIONS)
    sequence = {row[0]: (row[1], int(row[2])) for row in msi_table(package, "InstallExecuteSequence")}
    placed = sorted((sequence[a][1], a) for a in ORDER if a in sequence)
    expect("InstallExecuteSequence order", [a for _, a in placed], ORDER)
    expect("conditions", {a: sequence.get(a, ("",))[0] for a in CONDITIONS}, CONDITIONS)
    components = {row[0]: row[4] for row in msi_table(package, "Component")}
    expect("component conditions", {c: components.get(c) for c in COMPONENT_CONDITIONS},
           COMPONENT_CONDITIONS)
    properties = dict(msi_table(package, "Property"))
    expect("properties", {k: properties.get(k) for k in ("ALLUSERS", "ProductVersion", "ProductName",
                                                         "Manufacturer", "UpgradeCode")},
           {"ALLUSERS": "1", "ProductVersion": version, "ProductName": "VeskInfo",
            "Manufacturer": "Vesk Computer Corporation",
            "UpgradeCode": "{ED3C32D8-63E9-4782-8694-D9831E49D892}"})
    summary = subprocess.run(["msiinfo", "suminfo", str(package)], check=True, capture_output=True,
                             text=True).stdout
    expect("template", re.search(r"^Template: (.*)$", summary, re.M).group(1), "Intel;1033")
    return problems


def package_tables(wine):
    """The test packages' tables; the two versions have their own product codes."""
    for name, version in (("VeskInfo", build_versions(wine.build)["PRODUCT"]), ("VeskInfo-lower", "1.0.0")):
        problems = table_problems(wine.build / "msi" / (name + ".msi"), version)
        check(not problems, "%s.msi: %s" % (name, "; ".join(problems)))
    codes = {product_code(wine.build / "msi" / (name + ".msi")) for name in PACKAGES}
    check(len(codes) == 2, "the two versions share a product code")


SCENARIOS = {"msi_tables": package_tables}
SCENARIOS.update({name: (lambda wine, name=name, steps=steps: run_chain(wine, name, steps))
                  for name, steps in CHAINS.items()})
