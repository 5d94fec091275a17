"""The bootstrap's decisions, against stand-in apt-get, dpkg-query, dpkg and id early on PATH:
no root and no network needed. Each case says which packages are missing, who runs it and how
apt answers; the stand-ins log every apt-get call."""
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

STANDINS = {
    # Installed unless named in MISSING.
    "dpkg-query": 'for p in $MISSING; do [ "$p" = "${@: -1}" ] && exit 1; done\n'
                  'echo "install ok installed"',
    "id": 'echo "$UID_SEEN"',
    "dpkg": 'echo i386',
    "apt-get": 'echo "$*" >>"$APT_LOG"\n'
               'case "$*" in\n'
               '  *" update"*) [ "$UPDATE" = ok ] && exit 0\n'
               '    echo "E: Failed to fetch http://mirror/dists/x-security/main/binary-i386/Packages.xz'
               '  File has unexpected size (1 != 2). Mirror sync in progress?" >&2; exit 100 ;;\n'
               '  *" -t "*) [ "$INSTALL" != never ] && exit 0 ;;\n'
               '  *) [ "$INSTALL" = ok ] && exit 0 ;;\n'
               'esac\n'
               'echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100',
}

# name: (missing packages, uid, update, install, exit status, apt calls, texts on stderr)
CASES = {
    "everything present": ("", 0, "ok", "ok", 0, [], []),
    "update fails, install works": ("hyperfine wine32:i386", 0, "fails", "ok", 0,
                                    ["update", "install hyperfine wine32:i386"],
                                    ["index not updated: http://mirror/dists/x-security/main/binary-i386/Packages.xz"]),
    "resolves only from the suite": ("wine32:i386", 0, "ok", "suite", 0,
                                     ["update", "install wine32:i386", "install -t bookworm wine32:i386"],
                                     ["trying again from the release's own suite, bookworm"]),
    "install always fails": ("hyperfine wine32:i386", 0, "ok", "never", 1,
                             ["update", "install hyperfine wine32:i386",
                              "install -t bookworm hyperfine wine32:i386"],
                             ["could not install: hyperfine wine32:i386",
                              "tried: apt-get install, then apt-get install -t bookworm",
                              "E: Unable to correct problems, you have held broken packages."]),
    "not root": ("hyperfine", 1000, "ok", "ok", 1, [],
                 ["missing packages: hyperfine (run as root to install them)"]),
}


def apt_call(line):
    """An apt-get call without its fixed options: the verb, -t SUITE and the packages."""
    words = [w for w in line.split() if w not in ("-y", "-qq", "--no-install-recommends")]
    while "-o" in words:
        del words[words.index("-o"):words.index("-o") + 2]
    return " ".join(words)


class Bootstrap(unittest.TestCase):
    def run_case(self, scratch, missing, uid, update, install):
        scripts, bin_dir = scratch / "scripts", scratch / "bin"
        scripts.mkdir()
        bin_dir.mkdir()
        shutil.copy(ROOT / "scripts" / "bootstrap.sh", scripts)
        (scripts / "i386-support.sh").write_text("#!/bin/sh\necho i386-support ran >&2\n")
        for name, body in STANDINS.items():
            (bin_dir / name).write_text("#!/usr/bin/env bash\n" + body + "\n")
        for script in list(bin_dir.iterdir()) + [scripts / "i386-support.sh"]:
            script.chmod(0o755)
        (scratch / "os-release").write_text("ID=debian\nVERSION_CODENAME=bookworm\n")
        log = scratch / "apt.log"
        log.touch()
        env = dict(os.environ, PATH="%s:%s" % (bin_dir, os.environ["PATH"]), MISSING=missing,
                   UID_SEEN=str(uid), UPDATE=update, INSTALL=install, APT_LOG=str(log),
                   VESK_OS_RELEASE=str(scratch / "os-release"))
        done = subprocess.run(["bash", str(scripts / "bootstrap.sh")], env=env,
                              capture_output=True, text=True, timeout=60)
        return done, [apt_call(line) for line in log.read_text().splitlines()]

    def test_decisions(self):
        for name, (missing, uid, update, install, status, calls, texts) in CASES.items():
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                done, seen = self.run_case(Path(scratch), missing, uid, update, install)
                explain = "exit %d\nstdout: %s\nstderr: %s" % (done.returncode, done.stdout, done.stderr)
                self.assertEqual(done.returncode != 0, status != 0, explain)
                self.assertEqual(seen, calls, explain)
                for text in texts:
                    self.assertIn(text, done.stderr, explain)
                self.assertEqual("i386-support ran" in done.stderr, status == 0, explain)


if __name__ == "__main__":
    unittest.main()
