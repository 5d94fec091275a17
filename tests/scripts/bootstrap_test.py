"""The bootstrap's decisions, against a stand-in for apt-get, dpkg-query, dpkg and id early on
PATH (no root, no network). The stand-in logs every apt-get call."""
import os, shutil, subprocess, tempfile, unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
STANDIN = r'''#!/usr/bin/env bash
case "${0##*/} $*" in
  dpkg-query*) for p in $MISSING; do [ "$p" = "${@: -1}" ] && exit 1; done; echo "install ok installed" ;;
  id*) echo "$UID_SEEN" ;;
  dpkg*) echo i386 ;;
  *" update"*) echo "$*" >>"$APT_LOG"; [ "$UPDATE" = ok ] && exit 0
    echo "E: Failed to fetch http://m/x-security/binary-i386/Packages.xz  File has unexpected size" >&2; exit 100 ;;
  *) echo "$*" >>"$APT_LOG"; case "$INSTALL $*" in ok*|"suite "*" -t "*) exit 0 ;; esac
    echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
esac
'''
# name: (missing, uid, update, install, succeeds, apt calls, texts on stderr)
CASES = {
    "everything present": ("", 0, "ok", "ok", True, [], []),
    "update fails, install works": ("hyperfine wine32:i386", 0, "fails", "ok", True,
                                    ["update", "install hyperfine wine32:i386"],
                                    ["index not updated: http://m/x-security/binary-i386/Packages.xz"]),
    "resolves only from the suite": ("wine32:i386", 0, "ok", "suite", True,
                                     ["update", "install wine32:i386", "install -t bookworm wine32:i386"],
                                     ["trying again from the release's own suite, bookworm"]),
    "install always fails": ("hyperfine wine32:i386", 0, "ok", "never", False,
                             ["update", "install hyperfine wine32:i386", "install -t bookworm hyperfine wine32:i386"],
                             ["could not install: hyperfine wine32:i386", "tried: apt-get install, then apt-get "
                              "install -t bookworm", "E: Unable to correct problems, you have held broken packages."]),
    "not root": ("hyperfine", 1000, "ok", "ok", False, [], ["missing packages: hyperfine (run as root"]),
}


class Bootstrap(unittest.TestCase):
    def test_decisions(self):
        for name, (missing, uid, update, install, succeeds, calls, texts) in CASES.items():
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                tmp = Path(scratch)
                (tmp / "scripts").mkdir()
                shutil.copy(ROOT / "scripts" / "bootstrap.sh", tmp / "scripts")
                (tmp / "scripts" / "i386-support.sh").write_text("#!/bin/sh\necho i386-support ran >&2\n")
                (tmp / "standin").write_text(STANDIN)
                for tool in ("apt-get", "dpkg-query", "dpkg", "id"):
                    os.symlink(tmp / "standin", tmp / tool)
                for path in (tmp / "standin", tmp / "scripts" / "i386-support.sh"):
                    path.chmod(0o755)
                (tmp / "os-release").write_text("VERSION_CODENAME=bookworm\n")
                env = dict(os.environ, PATH="%s:%s" % (tmp, os.environ["PATH"]), MISSING=missing,
                           UID_SEEN=str(uid), UPDATE=update, INSTALL=install, APT_LOG=str(tmp / "log"),
                           VESK_OS_RELEASE=str(tmp / "os-release"))
                done = subprocess.run(["bash", str(tmp / "scripts" / "bootstrap.sh")], env=env,
                                      capture_output=True, text=True, timeout=60)
                log = (tmp / "log").read_text().splitlines() if (tmp / "log").exists() else []
                seen = [" ".join(w for w in line.replace("-o Acquire::Retries=3", "").split()
                                 if w not in ("-y", "-qq", "--no-install-recommends")) for line in log]
                explain = "exit %d\n%s" % (done.returncode, done.stderr)
                self.assertEqual((done.returncode == 0, seen), (succeeds, calls), explain)
                for text in texts + (["i386-support ran"] if succeeds else []):
                    self.assertIn(text, done.stderr, explain)


if __name__ == "__main__":
    unittest.main()
