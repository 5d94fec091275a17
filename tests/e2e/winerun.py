"""Runs VeskInfo.exe under Wine in the project's prefix and reads back what it did: the debug
texts (through the capture tool), the exit code and the stored registry values as bytes.

Shared by the end-to-end scenarios and by `make run`."""
import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SYSINFO_KEY = r"SOFTWARE\Vesk Computer Corporation\SysInfo"
SMBIOS_KEY = r"SYSTEM\CurrentControlSet\Services\mssmbios\Data"
BINFMT_DIR = Path("/proc/sys/fs/binfmt_misc")


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


class Wine:
    def __init__(self, build_dir, prefix, helpers_64bit=True):
        self.build = Path(build_dir)
        self.helpers_64bit = helpers_64bit
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=",
                        PATH="/usr/lib/wine:" + os.environ.get("PATH", ""))
        self.env.pop("WINEARCH", None)
        self.exe = self.build / "app" / "VeskInfo.exe"

    def _run(self, args, timeout=900, loader="wine64"):
        """Runs a Windows program. 64-bit helpers go straight to the 64-bit loader: `wine`
        would first start its 32-bit loader, which costs a minute where that is emulated."""
        return subprocess.run([loader] + [str(a) for a in args], env=self.env,
                              capture_output=True, timeout=timeout)

    def regtool(self, *args, check=True):
        if self.helpers_64bit:
            result = self._run([self.build / "tools" / "regtool64.exe"] + list(args), timeout=120)
        else:
            result = self._run([self.build / "tools" / "regtool.exe"] + list(args), timeout=900,
                               loader="wine")
        if check and result.returncode not in (0, 1):
            raise RuntimeError("regtool %s failed: %s" % (args, result.stderr.decode(errors="replace")))
        return result

    def stored_values(self, view="32", key=SYSINFO_KEY):
        """{name: (type, bytes)} of the key in the given view, or None when the key is absent."""
        result = self.regtool("dump", view, key)
        if result.returncode == 1:
            return None
        values = {}
        for line in result.stdout.decode("latin-1").splitlines():
            name, vtype, count, data = line.split("\t")
            values[name] = (int(vtype), bytes.fromhex(data))
            assert len(values[name][1]) == int(count)
        return values

    def clear_identity(self):
        for view in ("32", "64"):
            self.regtool("delete", view, SYSINFO_KEY)

    def seed_table(self, table_file):
        """Puts a raw table file into the SMBIOS driver service's registry copy. "no-key"
        removes the key, "no-value" leaves the key without the value."""
        self.regtool("delete", "64", SMBIOS_KEY)
        if table_file == "no-key":
            return
        if table_file == "no-value":
            self.regtool("setsz", "64", SMBIOS_KEY, "Placeholder", "x")
            self.regtool("delvalue", "64", SMBIOS_KEY, "Placeholder")
            return
        self.regtool("setbin", "64", SMBIOS_KEY, "SMBiosData", windows_path(table_file))

    def set_version(self, version):
        """Makes Wine report another Windows version ("winxp", "win10", ...); None resets."""
        if version is None:
            self._run(["reg", "delete", r"HKCU\Software\Wine", "/v", "Version", "/f"])
        else:
            self._run(["reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f"])

    def capture(self, program=None, args=()):
        """Runs the program; returns (list of debug texts as bytes, exit code)."""
        program = program or self.exe
        if emulated_i386():
            tool, mode = self.build / "tools" / "dbgcapture64.exe", ["--monitor"]
        else:
            tool, mode = self.build / "tools" / "dbgcapture.exe", []
        loader = "wine" if tool.name == "dbgcapture.exe" else "wine64"
        result = self._run([tool] + mode + [windows_path(program)] + list(args), loader=loader)
        texts, code = [], None
        for line in result.stdout.decode("latin-1").split("\n"):
            line = line.rstrip("\r")
            if line.startswith("DBG "):
                texts.append(unescape(line[4:]))
            elif line.startswith("EXIT "):
                code = int(line[5:])
        if code is None:
            raise RuntimeError("capture tool ended without the exit code: %r %r"
                               % (result.stdout[-500:], result.stderr[-500:]))
        return texts, code

    def finish(self):
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
