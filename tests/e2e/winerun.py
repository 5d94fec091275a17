"""Runs VeskInfo.exe under Wine in the project's prefix and reads back what it did: the debug
texts (through the capture tool), the exit code and the stored registry values as bytes.

A run costs Wine process starts, so the registry is seeded in one helper run and read back in
another. Every Wine process writes into files, never into a pipe of ours: the system processes
that the first program of a prefix starts inherit its standard handles and outlive it, and a
reader waiting for the end of such a pipe waits for them.

Shared by the end-to-end scenarios, `make run` and `make bench`; run as a script it starts or
stops the persistent wineservers of a test layer: winerun.py start|stop BUILD_DIR PREFIX...
(the first prefix exists; start makes each other one missing as a copy of it).

A scenario run by CTest takes its prefix from the resource CTest gave it: the prefix folder's
name, as `prefix_for_test` reads it."""
import os
import platform
import re
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SYSINFO_KEY = r"SOFTWARE\Vesk Computer Corporation\SysInfo"
SMBIOS_KEY = r"SYSTEM\CurrentControlSet\Services\mssmbios\Data"
# The locator's registration as a 32-bit program's CoCreateInstance finds it (32-bit view).
LOCATOR_KEY = r"SOFTWARE\Classes\CLSID\{4590F811-1D3A-11D0-891F-00AA004B2E24}\InprocServer32"
WINE_LOCATOR = r"C:\windows\system32\wbem\wbemprox.dll"
WINE_SETTINGS_KEY = r"HKCU\Software\Wine"
WINE_DEBUG_KEY = WINE_SETTINGS_KEY + r"\Debug"
BINFMT_DIR = Path("/proc/sys/fs/binfmt_misc")
# Wine's errors on every channel stay on, so that a failed run shows what Wine said about it;
# they are told apart from the program's own standard error by their form.
WINEDEBUG = "-all,err+all"
# Debian builds Wine without its preloader, so a 64-bit Wine process sets aside its fixed Windows
# addresses only once its loader runs. By then the kernel has put the C heap at a random place up to
# 1 GiB above the loader (at 0x7d000000), now and then over 0x7ffe0000, the page where the shared
# user data must be mapped: Wine then ends at once with exit code 1 ("failed to map the shared
# user data"). Without address-space randomization the heap begins right after the loader, 47 MiB
# below that page. Wine processes inherit the setting from the program they are started by.
FIXED_LAYOUT = ["setarch", platform.machine(), "--addr-no-randomize"]
WINE_MESSAGE = re.compile(rb"^(?:[0-9a-f]{4,8}:)?(?:err|warn|fixme|trace):|^wine: |^Application tried ")


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def unescape(text):
    """Reverses the capture tool's escaping (\\\\ and \\xHH) into the exact bytes."""
    out, i = bytearray(), 0
    while i < len(text):
        if text[i] == "\\" and text[i + 1] == "\\":
            out.append(0x5C)
            i += 2
        elif text[i] == "\\" and text[i + 1] == "x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out.append(ord(text[i]))
            i += 1
    return bytes(out)


def emulated_i386():
    """True where 32-bit programs run through the user-mode emulator: there a debugger cannot
    receive a 32-bit debuggee's debug events, so texts are read as an output monitor does."""
    try:
        entries = [e for e in BINFMT_DIR.iterdir() if e.name not in ("register", "status")]
        return any(e.read_text().startswith("enabled") and "qemu-i386" in e.read_text()
                   for e in entries)
    except OSError:
        return False


class Ran(subprocess.CompletedProcess):
    """A Windows program's run: its exit code (None when it was stopped at its time limit), its
    output, its own standard error, and apart from that what Wine said (`wine`): its messages
    on the program's standard error, then what the prefix's wineserver logged meanwhile."""

    def __init__(self, args, returncode, stdout, stderr):
        lines = stderr.splitlines(keepends=True)
        own = b"".join(line for line in lines if not WINE_MESSAGE.match(line))
        super().__init__(args, returncode, stdout, own)
        self.wine = b"".join(line for line in lines if WINE_MESSAGE.match(line))
        self.raw_stderr = stderr

    def describe(self, limit=4000):
        """Everything known about the run, for a failure message."""
        def tail(data):
            text = data.decode("latin-1")
            return ("...(%d bytes before)" % (len(text) - limit) + text[-limit:]) \
                if len(text) > limit else text
        code = "stopped at its time limit" if self.returncode is None else \
            "exit code %d" % self.returncode
        return "%s: %s\n  standard output: %s\n  standard error: %s\n  Wine said: %s" % (
            " ".join(str(a) for a in self.args), code, tail(self.stdout) or "(nothing)",
            tail(self.stderr) or "(nothing)", tail(self.wine) or "(nothing)")


def parse_dumps(output):
    """regtool's dump output: {(view, key): {name: (type, bytes)}, or None for an absent key}."""
    dumps, values = {}, None
    for line in output.decode("latin-1").splitlines():
        if line.startswith("value\t"):
            _, name, vtype, count, data = line.split("\t")
            values[name] = (int(vtype), bytes.fromhex(data))
            assert len(values[name][1]) == int(count)
        else:
            state, view, key = line.split(" ", 2)
            values = {} if state == "key" else None
            dumps[(view, key)] = values
    return dumps


class Wine:
    def __init__(self, build_dir, prefix, helpers_64bit=True):
        self.build = Path(build_dir)
        self.helpers_64bit = helpers_64bit
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG=WINEDEBUG,
                        WINEDLLOVERRIDES="mscoree,mshtml=",
                        PATH="/usr/lib/wine:" + os.environ.get("PATH", ""))
        self.env.pop("WINEARCH", None)
        self.exe = self.build / "app" / "VeskInfo.exe"
        self.runs = []  # every run, so that a failed scenario can show them
        self.server_log = Path(str(prefix) + ".wineserver.log")

    def run(self, args, timeout=900, loader="wine64", env=None, cwd=None):
        """Runs a Windows program, its output going to files; returns a Ran. 64-bit helpers go
        straight to the 64-bit loader: `wine` would first start its 32-bit loader, which costs
        a minute where that is emulated."""
        args = FIXED_LAYOUT + [loader] + [str(a) for a in args]
        before = self.server_log.stat().st_size if self.server_log.exists() else 0
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                code = subprocess.run(args, env=env or self.env, stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=err, timeout=timeout, cwd=cwd).returncode
            except subprocess.TimeoutExpired:
                code = None
            out.seek(0)
            err.seek(0)
            ran = Ran(args, code, out.read(), err.read())
        if self.server_log.exists():
            with open(self.server_log, "rb") as log:
                log.seek(before)
                ran.wine += log.read()
        self.runs.append(ran)
        if code is None:
            raise RuntimeError("a run went past its %d s:\n%s" % (timeout, ran.describe()))
        return ran

    def failed_runs(self):
        """The runs that ended other than with exit code 0, and the last run, described."""
        shown = [r for r in self.runs[:-1] if r.returncode != 0] + self.runs[-1:]
        return "\n".join(r.describe() for r in shown)

    def regtool(self, *commands):
        """Carries out the commands (tuples of regtool arguments) in one helper run; returns
        what their dumps found, as parse_dumps does."""
        args = []
        for command in commands:
            args += ([";"] if args else []) + list(command)
        if self.helpers_64bit:
            result = self.run([self.build / "tools" / "regtool64.exe"] + args, timeout=120)
        else:
            result = self.run([self.build / "tools" / "regtool.exe"] + args, loader="wine")
        if result.returncode != 0:
            raise RuntimeError("the registry helper failed: " + result.describe())
        return parse_dumps(result.stdout)

    def seed(self, table, locator=None, version=None, values=None, relay=None):
        """Brings every key the scenarios touch into a known state, in one helper run.
        table: a raw table file for the SMBIOS driver service's registry copy, "no-key" for no
        key, "no-value" for the key without the value. locator: the DLL registered as the
        management-instrumentation locator (None: Wine's own). version: the Windows version
        Wine reports ("winxp", ...; None: its default). values: {name: text} already stored.
        relay: the functions Wine's relay trace shows (its RelayInclude list), when enabled."""
        commands = [("delete", "32", SYSINFO_KEY), ("delete", "64", SYSINFO_KEY),
                    ("delete", "64", SMBIOS_KEY)]
        if table == "no-value":
            commands += [("setsz", "64", SMBIOS_KEY, "Placeholder", "x"),
                         ("delvalue", "64", SMBIOS_KEY, "Placeholder")]
        elif table != "no-key":
            commands.append(("setbin", "64", SMBIOS_KEY, "SMBiosData", windows_path(table)))
        commands += self._locator_commands(windows_path(locator) if locator else WINE_LOCATOR)
        if version is not None:
            commands.append(("setsz", "64", WINE_SETTINGS_KEY, "Version", version))
        if relay is not None:
            commands.append(("setsz", "64", WINE_DEBUG_KEY, "RelayInclude", relay))
        for name, text in (values or {}).items():
            commands.append(("setsz", "32", SYSINFO_KEY, name, text))
        self.regtool(*commands)

    def seed_table(self, table):
        self.seed(table)

    @staticmethod
    def _locator_commands(server, view="32"):
        """The locator's registration in a view: 32 for VeskInfo.exe, 64 for the inspector."""
        return [("setsz", view, LOCATOR_KEY, "", server),
                ("setsz", view, LOCATOR_KEY, "ThreadingModel", "Both")]

    def read_back(self):
        """Puts back Wine's own locator, version and relay settings, whatever a scenario changed, and reads
        the identity key in both views, in one helper run: (32-bit view, 64-bit view), each
        {name: (type, bytes)} or None for an absent key."""
        dumps = self.regtool(*self._locator_commands(WINE_LOCATOR),
                             ("delvalue", "64", WINE_SETTINGS_KEY, "Version"),
                             ("delvalue", "64", WINE_DEBUG_KEY, "RelayInclude"),
                             ("dump", "32", SYSINFO_KEY), ("dump", "64", SYSINFO_KEY))
        return dumps[("32", SYSINFO_KEY)], dumps[("64", SYSINFO_KEY)]

    def stored_values(self, view="32"):
        """{name: (type, bytes)} of the identity key in the given view, or None when absent."""
        return self.regtool(("dump", view, SYSINFO_KEY))[(view, SYSINFO_KEY)]

    def reg_query(self, key, *options):
        """The output of Wine's own reg.exe query, as text."""
        result = self.run(["reg", "query", key] + list(options), timeout=120)
        return result.returncode, result.stdout.decode("latin-1")

    def capture(self, program=None, args=(), env=None):
        """Runs the program (with additional environment variables); returns (list of debug
        texts as bytes, exit code, what it wrote to its standard error as text)."""
        program = program or self.exe
        if emulated_i386():
            tool, mode = self.build / "tools" / "dbgcapture64.exe", ["--monitor"]
        else:
            tool, mode = self.build / "tools" / "dbgcapture.exe", []
        loader = "wine" if tool.name == "dbgcapture.exe" else "wine64"
        result = self.run([tool] + mode + [windows_path(program)] + list(args), loader=loader,
                           env=dict(self.env, **(env or {})))
        texts, code = [], None
        for line in result.stdout.decode("latin-1").split("\n"):
            line = line.rstrip("\r")
            if line.startswith("DBG "):
                texts.append(unescape(line[4:]))
            elif line.startswith("EXIT "):
                code = int(line[5:])
        if code is None:
            raise RuntimeError("the capture tool ended without the exit code: " + result.describe())
        return texts, code, result.raw_stderr.decode("latin-1")

    def _server(self, *options, log=None):
        subprocess.run(["wineserver"] + list(options), env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=log or subprocess.DEVNULL, timeout=120)

    def start_server(self):
        """One wineserver for a whole test layer, so that no program pays for its start or for
        the prefix's system processes, which the first helper run here starts detached from
        every pipe. A server left over from an interrupted run is ended first. What the server
        says goes to its log beside the prefix, which a failed run quotes."""
        self._server("-k")
        self._server("-w")
        with open(self.server_log, "ab") as log:
            self._server("-p", log=log)
        self.stored_values()

    def stop_server(self):
        """Ends the layer's server and the system processes, and waits until they are gone."""
        self._server("-k")
        self._server("-w")

    def finish(self):
        """Waits until the prefix's Wine processes have ended (for a prefix without a
        persistent server)."""
        self._server("-w")


def prefix_for_test(wine_dir):
    """The prefix of the "wineprefix" resource CTest allotted to this test ("id:NAME,slots:1"),
    or the first prefix when run outside CTest's resource allocation."""
    allotted = os.environ.get("CTEST_RESOURCE_GROUP_0_WINEPREFIX", "")
    fields = dict(f.split(":", 1) for f in allotted.split(",") if ":" in f)
    return Path(wine_dir) / fields.get("id", "win64")


def copy_prefix(source, target):
    """A prefix as a copy of another (whose server must not be running): much cheaper than
    creating one where 32-bit code is emulated. Copied into a scratch folder first, so an
    interrupted copy never passes for a prefix."""
    scratch = target.with_name(target.name + ".partial")
    subprocess.run(["rm", "-rf", str(scratch)], check=True)
    subprocess.run(["cp", "-a", str(source), str(scratch)], check=True)
    scratch.rename(target)


def main():
    action, build = sys.argv[1:3]
    prefixes = [Path(p) for p in sys.argv[3:]]
    if action == "start":
        Wine(build, prefixes[0])._server("-k")
        Wine(build, prefixes[0])._server("-w")
        for prefix in prefixes[1:]:
            if not (prefix / "system.reg").exists():
                copy_prefix(prefixes[0], prefix)
    for prefix in prefixes:
        wine = Wine(build, prefix)
        {"start": wine.start_server, "stop": wine.stop_server}[action]()
    return 0


if __name__ == "__main__":
    sys.exit(main())
