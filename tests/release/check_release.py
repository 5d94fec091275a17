"""Checks the release that `make dist` wrote to dist/ (or $VESK_DIST_DIR): the stripped, signed
VeskInfo.exe and its debug file, the signature, the installer package, the veskinfo-inspect
package, the fleet scripts and SHA256SUMS; then every file again from a copy of the tree in
another folder, and time-stamped releases there (against the local authority of tsa.py).
Run after scripts/dist.sh: python3 tests/release/check_release.py -v"""
import base64
import gzip
import hashlib
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import installer  # noqa: E402
from tsa import Authority  # noqa: E402
from checks import SYSTEM_IMPORTS, build_versions  # noqa: E402
import peinfo  # noqa: E402

DIST = ROOT / os.environ.get("VESK_DIST_DIR", "dist")
EXE, DEBUG = DIST / "VeskInfo.exe", DIST / "VeskInfo.exe.debug"
INSPECT_EXE = DIST / "veskinfo-inspect.exe"
INSPECT_X86_EXE = DIST / "veskinfo-inspect-x86.exe"
WINDOWS_BUILD = ROOT / "build" / "windows-release"
SIGNING = ROOT / "build" / "signing"
INSPECT_BUILD = ROOT / "build" / "release" / "inspect" / "veskinfo-inspect"
PACKAGE_FILES = {"usr/bin/veskinfo-inspect", "usr/share/man/man1/veskinfo-inspect.1.gz",
                 "usr/share/doc/veskinfo-inspect/copyright",
                 "usr/share/doc/veskinfo-inspect/changelog.gz"}
SIZE_LIMIT = 200 * 1000
# The inspector may also take the wide command line apart (shell32, a Known DLL too).
SYSTEM_DLLS = SYSTEM_IMPORTS | {"SHELL32.DLL"}
RELOCS_STRIPPED = 0x0001
HARDENING_FLAGS = {0x0040: "ASLR (DYNAMIC_BASE)", 0x0100: "DEP (NX_COMPAT)",
                   0x0400: "no SEH handlers (NO_SEH)"}
SCN_SHARED, SCN_EXECUTE, SCN_WRITE = 0x10000000, 0x20000000, 0x80000000


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def run(*args, check=True, **kwargs):
    return subprocess.run([str(a) for a in args], check=check, capture_output=True, **kwargs)


def versions():
    """The release's version numbers, from the header the build generated from the one place."""
    return build_versions(WINDOWS_BUILD)


def source_date_epoch():
    return int(os.environ.get("SOURCE_DATE_EPOCH") or
               run("git", "-C", ROOT, "log", "-1", "--format=%ct").stdout)


def pe_timestamp(data):
    return int.from_bytes(data[data.index(b"PE\0\0") + 8:][:4], "little")


def section_names(path, objdump="i686-w64-mingw32-objdump"):
    listing = run(objdump, "-h", path, text=True).stdout
    return re.findall(r"^\s+\d+\s+(\S+)\s", listing, re.M)


def dump_section(path, name, folder):
    out = Path(folder) / "section.bin"
    run("i686-w64-mingw32-objcopy", "--dump-section", "%s=%s" % (name, out), path,
        Path(folder) / "copy")
    return out.read_bytes()


def verify(path, roots):
    """osslsigncode's verdict (True: the signature verifies) trusting only the roots file."""
    return run("osslsigncode", "verify", "-CAfile", roots, "-in", path, check=False).returncode == 0


def authenticode_data(path, folder):
    """What an Authenticode signature of the file signs: its digest, equal for the unsigned file
    and for the signed one."""
    out = Path(folder) / (Path(path).name + ".der")
    run("osslsigncode", "extract-data", "-h", "sha256", "-in", path, "-out", out)
    return out.read_bytes()


def hardening_faults(image):
    """What a binary analyser would find missing in a 32-bit program: ASLR with relocations,
    DEP, no SEH handlers, no writable code or shared writable data, imports from the system
    directory only (none of them delayed)."""
    faults = ["lacks " + name for flag, name in HARDENING_FLAGS.items()
              if not image.dll_characteristics & flag]
    if image.characteristics & RELOCS_STRIPPED or image.directories[5][1] == 0 or \
            ".reloc" not in [name for name, _ in image.section_flags]:
        faults.append("no relocations: ASLR cannot move the image")
    for name, flags in image.section_flags:
        if flags & SCN_WRITE and flags & SCN_EXECUTE:
            faults.append("section %s is writable and executable" % name)
        if flags & SCN_WRITE and flags & SCN_SHARED:
            faults.append("section %s is shared and writable" % name)
    others = set(image.imports()) - SYSTEM_IMPORTS
    if others:
        faults.append("imports from outside the system directory's Known DLLs: %s" % sorted(others))
    if image.directories[13] != (0, 0):
        faults.append("delay-loaded imports")
    return faults


class Executable(unittest.TestCase):
    def setUp(self):
        self.data = EXE.read_bytes()
        self.temp = tempfile.mkdtemp(prefix="vesk-release-")
        self.addCleanup(shutil.rmtree, self.temp)

    def test_size(self):
        self.assertLessEqual(len(self.data), SIZE_LIMIT, "signed VeskInfo.exe too large")

    def test_stripped_with_debug_link(self):
        names = section_names(EXE)
        self.assertFalse([n for n in names if n.startswith(".debug")], names)
        self.assertIn(".gnu_debuglink", names)
        self.assertEqual(peinfo.Image(self.data).machine, 0x14C)
        link = dump_section(EXE, ".gnu_debuglink", self.temp)
        name, crc = link[:link.index(b"\0")], int.from_bytes(link[-4:], "little")
        self.assertEqual(name, b"VeskInfo.exe.debug")
        self.assertEqual(crc, zlib.crc32(DEBUG.read_bytes()), "debug link CRC does not match the file")
        self.assertIn(".debug_info", section_names(DEBUG))

    def test_debugger_finds_the_debug_file(self):
        def where(folder):
            return run("gdb", "-batch", "-nx", "-ex", "info line WinMain@16", "VeskInfo.exe",
                       cwd=folder, text=True, check=False).stdout
        self.assertRegex(where(DIST), r'Line \d+ of "\./app/WinMain\.cpp" starts at address')
        shutil.copy(EXE, self.temp)
        self.assertNotIn("WinMain.cpp", where(self.temp), "found without the debug file")

    def test_resources_unchanged_by_stripping_and_signing(self):
        wanted = versions()
        info = peinfo.read(EXE)
        self.assertEqual(info["file_version"], tuple(map(int, wanted["FILE"].split("."))))
        self.assertEqual(info["product_version"], tuple(map(int, wanted["PRODUCT"].split("."))))
        self.assertEqual(info["subsystem"], 2)
        self.assertEqual(info["manifest"], (ROOT / "res" / "VeskInfo.manifest").read_bytes())
        self.assertIn(b'level="requireAdministrator"', info["manifest"])
        linked = peinfo.Image((WINDOWS_BUILD / "app" / "VeskInfo.exe").read_bytes())
        released = peinfo.Image(self.data)
        for rtype in (peinfo.RT_VERSION, peinfo.RT_MANIFEST):
            self.assertEqual(released.resource(rtype), linked.resource(rtype), rtype)

    def test_hardened(self):
        image = peinfo.Image(self.data)
        self.assertEqual(hardening_faults(image), [])
        print("\nhardening: DllCharacteristics %#06x, imports %s" % (
            image.dll_characteristics, ", ".join(image.imports())), file=sys.stderr)

    def test_hardening_check_finds_each_fault(self):
        """The same image with one fault written into its headers."""
        image = peinfo.Image(self.data)
        pe = int.from_bytes(self.data[0x3C:0x40], "little")
        dll_flags, file_flags, sections = pe + 24 + 70, pe + 22, image.section_table

        def patched(offset, size, change):
            value = int.from_bytes(self.data[offset:offset + size], "little")
            return (self.data[:offset] + change(value).to_bytes(size, "little")
                    + self.data[offset + size:])
        text_flags = sections + 36  # the first section, .text
        data_flags = sections + 40 + 36  # the second, .data
        cases = {
            "without --no-seh": (patched(dll_flags, 2, lambda v: v & ~0x400), "NO_SEH"),
            "without ASLR": (patched(dll_flags, 2, lambda v: v & ~0x40), "ASLR"),
            "without DEP": (patched(dll_flags, 2, lambda v: v & ~0x100), "DEP"),
            "relocations stripped": (patched(file_flags, 2, lambda v: v | RELOCS_STRIPPED),
                                     "no relocations"),
            "writable code": (patched(text_flags, 4, lambda v: v | SCN_WRITE),
                              "writable and executable"),
            "shared data": (patched(data_flags, 4, lambda v: v | SCN_SHARED), "shared and writable"),
            "an import from elsewhere": (self.data.replace(b"ole32.dll", b"uxtme.dll", 1),
                                         "UXTME.DLL"),
        }
        self.assertEqual(image.section_flags[0][0], ".text")
        for name, (data, message) in cases.items():
            with self.subTest(name):
                faults = hardening_faults(peinfo.Image(data))
                self.assertEqual(len(faults), 1, faults)
                self.assertIn(message, faults[0])

    def test_manifest_declares_no_supported_system(self):
        """A supportedOS entry would make Windows 10 and 11 report 10.0 instead of 6.2, and the
        program would refuse to run there."""
        manifest = peinfo.read(EXE)["manifest"]
        for needle in (b"supportedOS", b"compatibility"):
            self.assertNotIn(needle, manifest)

    def test_dates_from_the_last_commit(self):
        epoch = source_date_epoch()
        for path in (EXE, DEBUG, INSPECT_EXE):
            self.assertEqual(pe_timestamp(path.read_bytes()), epoch, path.name)


class Signature(unittest.TestCase):
    def setUp(self):
        self.temp = Path(tempfile.mkdtemp(prefix="vesk-release-"))
        self.addCleanup(shutil.rmtree, self.temp)
        self.test_signed = (DIST / "TEST-SIGNED").exists()
        self.roots = SIGNING / "test-cert.pem" if self.test_signed else Path(
            os.environ.get("VESK_SIGN_CAFILE", "/etc/ssl/certs/ca-certificates.crt"))

    def test_test_signature_trusted_only_through_the_test_certificate(self):
        if not self.test_signed:
            self.skipTest("signed with a real certificate")
        self.assertFalse(verify(EXE, "/etc/ssl/certs/ca-certificates.crt"))
        chain = self.temp / "chain.pem"
        run("osslsigncode", "extract-signature", "-pem", "-in", EXE, "-out", chain)
        signer = run("openssl", "pkcs7", "-print_certs", "-in", chain, text=True).stdout
        fingerprint = run("openssl", "x509", "-noout", "-fingerprint", "-sha256", text=True,
                          input=signer).stdout.split("=")[1].strip()
        self.assertIn(fingerprint, (DIST / "TEST-SIGNED").read_text())
        self.assertIn("TEST-SIGNED", (DIST / "TEST-SIGNED").read_text())

    def test_verifies_and_one_changed_byte_fails(self):
        self.assertTrue(verify(EXE, self.roots))
        data = EXE.read_bytes()
        image = peinfo.Image(data)
        places = {"code": image.offset(image.sections[0][1]) + 0x100,
                  "version resource": image.offset(image.directories[2][0]) + 0x80,
                  "signature": len(data) - 200}
        for place, offset in places.items():
            with self.subTest(place):
                copy = self.temp / ("changed-%d.exe" % offset)
                copy.write_bytes(data[:offset] + bytes([data[offset] ^ 0x01]) + data[offset + 1:])
                self.assertFalse(verify(copy, self.roots))


class WindowsInspector(unittest.TestCase):
    """veskinfo-inspect.exe and veskinfo-inspect-x86.exe: signed 64-bit and 32-bit console
    programs that ask for no rights, hardened as VeskInfo.exe is."""
    # file, machine, the DllCharacteristics it must have (high-entropy ASLR only for 64-bit;
    # ASLR, DEP; no SEH handlers for 32-bit), manifest architecture, objdump
    BUILDS = [(INSPECT_EXE, 0x8664, 0x0020 | 0x0040 | 0x0100, b"amd64", "x86_64-w64-mingw32-objdump"),
              (INSPECT_X86_EXE, 0x14C, 0x0040 | 0x0100 | 0x0400, b"X86", "i686-w64-mingw32-objdump")]

    def test_signed_hardened_console_programs(self):
        roots = SIGNING / "test-cert.pem" if (DIST / "TEST-SIGNED").exists() else Path(
            os.environ.get("VESK_SIGN_CAFILE", "/etc/ssl/certs/ca-certificates.crt"))
        wanted = versions()
        for path, machine, flags, architecture, objdump in self.BUILDS:
            with self.subTest(path.name):
                self.assertTrue(verify(path, roots))
                info = peinfo.read(path)
                self.assertEqual((info["machine"], info["subsystem"]), (machine, 3))
                self.assertLessEqual(set(info["imports"]), SYSTEM_DLLS)
                image = peinfo.Image(path.read_bytes())
                self.assertEqual(image.dll_characteristics & flags, flags)
                self.assertEqual(image.directories[13], (0, 0), "delay-loaded imports")
                self.assertFalse([name for name, f in image.section_flags
                                  if f & SCN_WRITE and f & (SCN_EXECUTE | SCN_SHARED)])
                self.assertIn(b'level="asInvoker"', info["manifest"])
                self.assertIn(b'processorArchitecture="%s"' % architecture, info["manifest"])
                self.assertEqual(info["file_version"], tuple(map(int, wanted["FILE"].split("."))))
                self.assertEqual(info["product_version"],
                                 tuple(map(int, wanted["PRODUCT"].split("."))))
                self.assertFalse([n for n in section_names(path, objdump) if n.startswith(".debug")])
                print("\n%s: %d bytes" % (path.name, path.stat().st_size), file=sys.stderr)


class Signing(unittest.TestCase):
    """scripts/sign.sh with the keys of the environment, made from the test certificate."""

    @classmethod
    def setUpClass(cls):
        cls.temp = Path(tempfile.mkdtemp(prefix="vesk-sign-"))
        cls.unsigned = WINDOWS_BUILD / "release" / "VeskInfo.exe"
        (cls.temp / "wrong-password").write_text("not the password\n")
        # Without a key the test certificate signs; the cases below reuse its key.
        cls.keyless = cls.sign()
        cls.hsm = cls.make_token()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.temp)

    @classmethod
    def make_token(cls):
        """A software token holding the test key, or None where SoftHSM is missing."""
        module = Path("/usr/lib/softhsm/libsofthsm2.so")
        if not module.exists() or not shutil.which("softhsm2-util"):
            return None
        tokens = cls.temp / "tokens"
        tokens.mkdir()
        conf = cls.temp / "softhsm2.conf"
        conf.write_text("directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n"
                        % tokens)
        env = dict(os.environ, SOFTHSM2_CONF=str(conf))
        run("softhsm2-util", "--init-token", "--free", "--label", "vesk", "--pin", "1234",
            "--so-pin", "5678", env=env)
        key = cls.temp / "key8.pem"
        run("openssl", "pkcs8", "-topk8", "-nocrypt", "-in", SIGNING / "test-key.pem", "-out", key)
        run("softhsm2-util", "--import", key, "--token", "vesk", "--label", "signkey", "--id", "01",
            "--pin", "1234", env=env)
        (cls.temp / "pin").write_text("1234\n")
        return {"SOFTHSM2_CONF": str(conf), "VESK_SIGN_PKCS11_MODULE": str(module)}

    @classmethod
    def sign(cls, **variables):
        env = {k: v for k, v in os.environ.items() if not k.startswith("VESK_SIGN_")}
        env.update({k: str(v) for k, v in variables.items()})
        out, notice = cls.temp / "signed.exe", cls.temp / "NOTICE"
        notice.unlink(missing_ok=True)
        result = run(ROOT / "scripts" / "sign.sh", cls.unsigned, out, notice, env=env, text=True,
                     check=False)
        return result, out, notice.read_text() if notice.exists() else None

    def test_without_key_test_signs_and_says_so(self):
        result, _, notice = self.keyless
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("THIS RELEASE IS TEST-SIGNED", result.stdout)
        self.assertIsNotNone(notice)
        self.assertIn(notice, result.stdout)
        fingerprint = run("openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in",
                          SIGNING / "test-cert.pem", text=True).stdout.split("=")[1].strip()
        self.assertIn(fingerprint, notice)

    def test_keys_from_the_environment(self):
        trust = SIGNING / "test-cert.pem"
        cases = {"pkcs12": {"VESK_SIGN_PKCS12": SIGNING / "test.p12", "VESK_SIGN_CAFILE": trust,
                            "VESK_SIGN_PASSWORD_FILE": SIGNING / "test-password"}}
        if self.hsm:
            cases["pkcs11"] = dict(self.hsm, VESK_SIGN_CERTS=trust, VESK_SIGN_CAFILE=trust,
                                   VESK_SIGN_PKCS11_KEY="pkcs11:token=vesk;object=signkey;type=private",
                                   VESK_SIGN_PASSWORD_FILE=self.temp / "pin")
        for name, variables in cases.items():
            with self.subTest(name):
                result, out, notice = self.sign(**variables)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertTrue(verify(out, SIGNING / "test-cert.pem"))
                self.assertNotIn("TEST-SIGNED", result.stdout)
                self.assertIsNone(notice, "a release signed with a given key is no test release")
        if not self.hsm:
            self.skipTest("SoftHSM missing: the PKCS#11 path was not tried")

    def test_incomplete_or_wrong_keys_fail(self):
        def p12(path=SIGNING / "test.p12", password=SIGNING / "test-password"):
            return {"VESK_SIGN_PKCS12": path, "VESK_SIGN_PASSWORD_FILE": password}
        token = {"VESK_SIGN_PKCS11_MODULE": "/bin/true"}
        cases = {
            "PKCS#12 without password file": ({"VESK_SIGN_PKCS12": SIGNING / "test.p12"},
                                              "VESK_SIGN_PASSWORD_FILE"),
            "PKCS#12 with the wrong password": (p12(password=self.temp / "wrong-password"),
                                                "signing failed"),
            "PKCS#12 missing": (p12(path=self.temp / "none.p12"), "cannot read"),
            "untrusted signer": (p12(), "does not verify"),
            "PKCS#11 without key": (token, "VESK_SIGN_PKCS11_KEY"),
            "PKCS#11 without certificate": (dict(token, VESK_SIGN_PKCS11_KEY="pkcs11:object=k"),
                                            "VESK_SIGN_PKCS11_CERT"),
        }
        for name, (variables, message) in cases.items():
            with self.subTest(name):
                result, out, notice = self.sign(**variables)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertFalse(out.exists(), "no signed file may be left after a failure")
                self.assertIsNone(notice)


class Reproducible(unittest.TestCase):
    """`make dist` in a clean copy of this tree in another folder, with another time zone, locale,
    umask and host name and the same test key: the same bytes in every file as dist/. Then, in
    that copy, time-stamped releases from a local authority."""

    @classmethod
    def setUpClass(cls):
        cls.temp = Path(tempfile.mkdtemp(prefix="vesk-repro-"))
        files = run("git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                    "--exclude-standard").stdout
        files = b"\0".join(f for f in files.split(b"\0") if f and (ROOT / f.decode()).exists())
        cls.tree, cls.hostnames = cls.temp / "second" / "deeper" / "b", []
        cls.tree.mkdir(parents=True)
        with open(cls.tree / "src.tar", "wb") as archive:
            subprocess.run(["tar", "-C", str(ROOT), "--null", "-T", "-", "-cf", "-"], input=files,
                           check=True, stdout=archive)
        run("tar", "-C", cls.tree, "-xf", cls.tree / "src.tar")
        (cls.tree / "src.tar").unlink()
        shutil.copytree(SIGNING, cls.tree / "build" / "signing")
        cls.dist(cls.tree / "dist", hostname="veskrepro-b")

    @classmethod
    def dist(cls, out, check=True, hostname=None, **variables):
        """scripts/dist.sh in the copy, in a host name of its own where the system lets us make
        one (unshare)."""
        env = dict(os.environ, SOURCE_DATE_EPOCH=str(source_date_epoch()), TZ="Pacific/Kiritimati",
                   LC_ALL="C.UTF-8", VESK_DIST_DIR=str(out), **variables)
        command = ["bash", "-c", "umask 002 && scripts/dist.sh"]
        if hostname and run("unshare", "--uts", "true", check=False).returncode == 0:
            command = ["unshare", "--uts", "sh", "-c", 'hostname "$0" && exec "$@"', hostname] + command
            cls.hostnames.append(hostname)
        return run(*command, cwd=cls.tree, env=env, check=check, text=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.temp)

    def test_same_bytes(self):
        sums = [run("sha256sum", *sorted(os.listdir(d)), cwd=d, text=True).stdout
                for d in (DIST, self.tree / "dist")]
        print("\n%s:\n%s%s:\n%s" % (DIST, sums[0], self.tree / "dist", sums[1]), file=sys.stderr)
        self.assertEqual(sums[0], sums[1])

    def test_no_build_folder_or_host_name_inside(self):
        needles = [str(self.temp), str(ROOT), socket.gethostname()] + self.hostnames
        for path in (self.tree / "dist").iterdir():
            data = path.read_bytes()
            for needle in (n.encode() for n in needles if len(n) >= 4):
                with self.subTest(name=path.name, needle=needle):
                    self.assertFalse(needle in data)
        if not self.hostnames:
            self.skipTest("no host name of a build's own (unshare refused): only the machine's checked")

    def test_release_signs_the_reproducible_executable(self):
        rebuilt = self.tree / "build" / "windows-release" / "release" / "VeskInfo.exe"
        self.assertEqual(authenticode_data(EXE, self.temp).hex(),
                         authenticode_data(rebuilt, self.temp / "second").hex())

    def test_time_stamps(self):
        """Every signed file, inside the installer package too, stamped by the first authority
        that answers; no release at all when none does. Then verify-release.sh on the stamped
        release, with one file changed and one added: those two differ, all else matches."""
        stamped, failed = self.temp / "stamped", self.temp / "failed"
        with Authority(self.temp) as tsa:
            variables = {"VESK_SIGN_TSA_CAFILE": str(tsa.root)}
            self.dist(stamped, VESK_SIGN_TIMESTAMP_URL=" ".join(
                (tsa.unreachable(), tsa.url("error"), tsa.url())), **variables)
            urls = (tsa.unreachable(), tsa.url("error"))
            result = self.dist(failed, False, VESK_SIGN_TIMESTAMP_URL=" ".join(urls), **variables)
        print("\nunreachable authority: " + result.stderr.strip().splitlines()[-1], file=sys.stderr)
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, "no time-stamping authority.* %s .*%s .*500" % urls)
        self.assertFalse(failed.exists(), "a failed make dist leaves files behind")
        run("msiextract", "-C", stamped / "inside", *stamped.glob("*.msi"))
        signed = [f for f in stamped.rglob("*") if f.suffix in (".exe", ".msi", ".ps1")]
        self.assertGreaterEqual(len(signed), 4)  # the executables, the package, the one inside
        for path in signed:
            said = run("osslsigncode", "verify", "-CAfile", SIGNING / "test-cert.pem",
                       "-TSA-CAfile", tsa.root, "-in", path, text=True).stdout
            print("%s: %s" % (path.name, re.findall(r"Timestamp time: .*|Timestamp Server.*", said)),
                  file=sys.stderr)
            self.assertIn("Timestamp Server Signature verification: ok", said, path)
        wanted = {("  inside it: " if p.parent != stamped else "") + p.name:
                  "matches except for its signature" if p in signed else "matches byte for byte"
                  for p in stamped.rglob("*") if p.is_file()}
        shutil.rmtree(stamped / "inside")
        (stamped / "VeskInfo.exe.debug").write_bytes(b"\0" + DEBUG.read_bytes()[1:])
        (stamped / "EXTRA").write_text("not built\n")
        said = run(self.tree / "scripts" / "verify-release.sh", stamped, text=True, check=False,
                   env=dict(os.environ, SOURCE_DATE_EPOCH=str(source_date_epoch())))
        print(said.stdout, file=sys.stderr)
        verdicts = dict(re.findall(r"^(\S.*?|  inside it: \S+)\s{2,}(\S.*)$", said.stdout, re.M))
        wanted.update({"VeskInfo.exe.debug": "DIFFERS", "EXTRA": "DIFFERS: not rebuilt"})
        self.assertEqual(verdicts, wanted)
        self.assertEqual(said.returncode, 1)


class InstallerPackage(unittest.TestCase):
    """The signed VeskInfo-<version>.msi: what it installs, its tables, its signature, and two
    more builds from the released executable giving the bytes that were signed."""

    @classmethod
    def setUpClass(cls):
        cls.version = versions()["PRODUCT"]
        cls.msi = DIST / ("VeskInfo-%s.msi" % cls.version)
        cls.unsigned = WINDOWS_BUILD / "msi" / cls.msi.name
        cls.temp = Path(tempfile.mkdtemp(prefix="vesk-msi-"))
        print("\n%s: %d bytes" % (cls.msi.name, cls.msi.stat().st_size), file=sys.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.temp)

    def test_installs_the_released_executables(self):
        run("msiextract", "-C", self.temp / "files", self.msi)
        files = {str(p.relative_to(self.temp / "files")): digest(p)
                 for p in (self.temp / "files").rglob("*") if p.is_file()}
        folder = "Program Files/Vesk Computer Corporation/VeskInfo/"
        self.assertEqual(files, {folder + "VeskInfo.exe": digest(EXE),
                                 folder + "veskinfo-inspect.exe": digest(INSPECT_EXE),
                                 folder + "veskinfo-inspect-x86.exe": digest(INSPECT_X86_EXE)})

    def test_tables(self):
        self.assertEqual(installer.table_problems(self.msi, self.version), [])

    def test_verifies_and_one_changed_byte_fails(self):
        roots = SIGNING / "test-cert.pem" if (DIST / "TEST-SIGNED").exists() else Path(
            os.environ.get("VESK_SIGN_CAFILE", "/etc/ssl/certs/ca-certificates.crt"))
        self.assertTrue(verify(self.msi, roots))
        data = self.msi.read_bytes()
        offset = data.index(b"MSCF") + 200  # inside the cabinet that holds VeskInfo.exe
        changed = self.temp / "changed.msi"
        changed.write_bytes(data[:offset] + bytes([data[offset] ^ 0x01]) + data[offset + 1:])
        self.assertFalse(verify(changed, roots))

    def test_reproducible(self):
        builder = ROOT / "packaging" / "msi" / "build_msi.py"
        env = dict(os.environ, SOURCE_DATE_EPOCH=str(source_date_epoch()), TZ="Pacific/Kiritimati")
        builds = [self.temp / name / self.msi.name for name in ("a", "b/deeper")]
        for build in builds:
            run(sys.executable, builder, EXE, self.version, build, INSPECT_EXE, INSPECT_X86_EXE,
                env=env)
        self.assertEqual(digest(builds[0]), digest(builds[1]))
        self.assertEqual(digest(builds[0]), digest(self.unsigned), "the package make dist signed")
        self.assertEqual(authenticode_data(self.msi, self.temp).hex(),
                         authenticode_data(builds[1], self.temp / "b").hex())


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        arch = run("dpkg", "--print-architecture", text=True).stdout.strip()
        cls.version = versions()["PRODUCT"]
        cls.deb = DIST / ("veskinfo-inspect_%s_%s.deb" % (cls.version, arch))
        cls.root = Path(tempfile.mkdtemp(prefix="vesk-deb-"))
        run("dpkg-deb", "-x", cls.deb, cls.root)
        cls.binary = cls.root / "usr" / "bin" / "veskinfo-inspect"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root)

    def test_control_fields(self):
        fields = {name: run("dpkg-deb", "-f", self.deb, name, text=True).stdout.strip()
                  for name in ("Package", "Version", "Section", "Depends")}
        self.assertEqual(fields["Package"], "veskinfo-inspect")
        self.assertEqual(fields["Version"], self.version)
        self.assertIn("libc6", fields["Depends"])

    def test_contents(self):
        files = {str(p.relative_to(self.root)) for p in self.root.rglob("*") if not p.is_dir()}
        self.assertEqual(files, PACKAGE_FILES)
        self.assertTrue(os.access(self.binary, os.X_OK))
        copyright_text = (self.root / "usr/share/doc/veskinfo-inspect/copyright").read_text()
        self.assertRegex(copyright_text, r"^Format: https://www\.debian\.org/doc/packaging-manuals/")
        self.assertIn("Copyright: ", copyright_text)
        changelog = (self.root / "usr/share/doc/veskinfo-inspect/changelog.gz").read_bytes()
        newest = gzip.decompress(changelog).split(b"\n")[0]
        self.assertTrue(newest.startswith(b"veskinfo-inspect (%s) " % self.version.encode()), newest)

    def test_installed_binary_runs(self):
        version = run(self.binary, "--version", text=True).stdout
        self.assertEqual(version.strip(), "veskinfo-inspect %s" % self.version)
        sample = ROOT / "samples" / "desktop.bin"
        installed = run(self.binary, sample, check=False)
        self.assertEqual(installed.returncode, 0, installed.stderr)
        self.assertEqual(installed.stdout, run(INSPECT_BUILD, sample).stdout)

    def test_manual_page_follows_help(self):
        page = self.root / "usr/share/man/man1/veskinfo-inspect.1.gz"
        rendered = run("man", "--warnings", "-E", "UTF-8", "-l", page, text=True,
                       env=dict(os.environ, MANWIDTH="200"))
        warnings = rendered.stderr.replace("running with root privileges is not recommended!\n", "")
        self.assertEqual(warnings, "")
        text = re.sub(r".\x08", "", rendered.stdout).replace("\u2010", "-").replace("\u2212", "-")
        self.assertIn("VESKINFO-INSPECT(1)", text)
        self.assertIn(self.version, text)
        help_text = run(self.binary, "--help", text=True).stdout
        options = set(re.findall(r"(?<![\w-])--?[A-Za-z][\w-]*", help_text))
        self.assertTrue(options, "no option found in --help")
        for option in sorted(options):
            with self.subTest(option):
                self.assertRegex(text, r"(?<![\w-])%s(?![\w-])" % re.escape(option))

    def test_lintian_finds_no_error(self):
        result = run("lintian", "--display-info", "--pedantic", "--display-experimental", self.deb,
                     text=True, check=False)
        tags = [line for line in result.stdout.splitlines() if re.match(r"^[EWIPX]: ", line)]
        print("\nlintian: " + ("\n         ".join(tags) or "no tags"), file=sys.stderr)
        self.assertFalse([t for t in tags if t.startswith("E:")])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


SIG_BEGIN, SIG_END = "\r\n# SIG # Begin signature block\r\n", "# SIG # End signature block"
SPC_INDIRECT_DATA = bytes.fromhex("2b060104018237020104")  # OID 1.3.6.1.4.1.311.2.1.4
SHA256_OID = bytes.fromhex("608648016503040201")  # OID 2.16.840.1.101.3.4.2.1


def der_contents(data, *path):
    """The contents of the DER element reached by taking the element of each index in turn."""
    for index in path:
        for _ in range(index + 1):
            length, start = data[1], 2
            if length & 0x80:
                start = 2 + (length & 0x7F)
                length = int.from_bytes(data[2:start], "big")
            element, data = data[start:start + length], data[start + length:]
        data = element
    return data


def script_digests(path):
    """(the digest PowerShell computes for a signed script: SHA-256 of the UTF-16LE of its text
    up to the signature block with CRLF line ends; the digest in its signature's
    SpcIndirectDataContent)."""
    head, found, block = Path(path).read_bytes().decode("latin-1").partition(SIG_BEGIN)
    lines = block.split(SIG_END)[0].split("\r\n")
    signature = base64.b64decode("".join(line[2:] for line in lines if line.startswith("# ")))
    content = der_contents(signature, 0, 1, 0, 2)  # ContentInfo, [0], SignedData, its content
    digest_info = der_contents(content, 1, 0, 1)
    assert found and der_contents(content, 0) == SPC_INDIRECT_DATA, path
    assert der_contents(digest_info, 0, 0) == SHA256_OID, path
    crlf = head.replace("\r\n", "\n").replace("\n", "\r\n")
    return hashlib.sha256(crlf.encode("utf-16-le")).digest(), der_contents(digest_info, 1)


class FleetScripts(unittest.TestCase):
    """The fleet scripts (PowerShell cannot run here): signed so that Windows accepts them, naming
    the folder the package installs into, each running one inspector command and exiting only as
    listed: discovery always 0, since Configuration Manager takes any other code for a failure,
    and the repair always 0, since Intune then skips the detection after it."""
    SCRIPTS = {"Detect-VeskInfo.ps1": ("--audit --probe", {"$code", "2"}),
               "Discover-VeskInfo.ps1": ("--audit --probe", {"0"}),
               "Repair-VeskInfo.ps1": ("--repair", {"0"})}

    def test_signed_and_one_changed_byte_fails(self):
        roots = SIGNING / "test-cert.pem" if (DIST / "TEST-SIGNED").exists() else Path(
            os.environ.get("VESK_SIGN_CAFILE", "/etc/ssl/certs/ca-certificates.crt"))
        with tempfile.TemporaryDirectory() as temp:
            for name in self.SCRIPTS:
                signed, changed = (DIST / name).read_bytes(), Path(temp) / name
                changed.write_bytes(signed.replace(b"$inspector", b"$inspectoR", 1))
                source = (ROOT / "packaging/fleet" / name).read_bytes().replace(b"\r\n", b"\n")
                self.assertTrue(signed.startswith(source.replace(b"\n", b"\r\n")))
                self.assertEqual((verify(DIST / name, roots), verify(changed, roots)), (True, False))

    def test_windows_computes_the_signed_digest(self):
        for name in self.SCRIPTS:
            with self.subTest(name):
                data = (DIST / name).read_bytes()
                self.assertIsNone(re.search(rb"[\x80-\xff]|(?<!\r)\n|\r(?!\n)", data))
                windows, signed = script_digests(DIST / name)
                self.assertEqual(windows.hex(), signed.hex())

    def test_lf_script_signed_as_it_is_fails_on_windows(self):
        with tempfile.TemporaryDirectory() as temp:
            lf, signed = Path(temp) / "Lf.ps1", Path(temp) / "Signed.ps1"
            lf.write_bytes(b"Write-Output 'lf'\nexit 0\n")
            run(ROOT / "scripts" / "sign.sh", lf, signed, env={  # osslsigncode verifies it
                k: v for k, v in os.environ.items() if not k.startswith("VESK_SIGN_")})
            windows, inside = script_digests(signed)
            self.assertEqual(inside, hashlib.sha256(lf.read_text().encode("utf-16-le")).digest())
            self.assertNotEqual(windows, inside)

    def test_dist_refuses_a_script_windows_would_read_otherwise(self):
        with tempfile.TemporaryDirectory() as temp:
            for source, line in ((b"ok\n# caf\xc3\xa9\n", 2), (b"a\rb\n", 1)):
                (Path(temp) / "In.ps1").write_bytes(source)
                said = run(ROOT / "scripts" / "windows-script.sh", Path(temp) / "In.ps1",
                           Path(temp) / "Out.ps1", check=False, text=True)
                self.assertEqual((said.returncode, (Path(temp) / "Out.ps1").exists()), (1, False))
                self.assertIn("In.ps1 line %d: a " % line, said.stderr)

    def test_paths_are_the_packages_install_folder(self):
        """The package is 32-bit: its ProgramFilesFolder is ProgramFiles(x86) on 64-bit Windows."""
        msi = DIST / ("VeskInfo-%s.msi" % versions()["PRODUCT"])
        rows = {r[0]: r for r in installer.msi_table(msi, "Directory")}
        names, folder = [], "INSTALLFOLDER"
        while rows[folder][1] != "TARGETDIR":
            names.insert(0, rows[folder][2].split("|")[-1])
            folder = rows[folder][1]
        self.assertEqual(folder, "ProgramFilesFolder")
        files = {r[2].split("|")[-1] for r in installer.msi_table(msi, "File")}
        for name in self.SCRIPTS:
            with self.subTest(name):
                text = (DIST / name).read_text(encoding="ascii")
                self.assertIn("${env:ProgramFiles(x86)}", text)
                self.assertIn("Join-Path $programs '%s'" % "\\".join(names), text)
                used = set(re.findall(r"Join-Path \$folder '([^']+)'", text))
                self.assertTrue(used and used <= files, (used, files))

    def test_one_inspector_command_and_its_exit_codes(self):
        for name, (command, exits) in self.SCRIPTS.items():
            with self.subTest(name):
                text = (DIST / name).read_bytes().decode("ascii").split(SIG_BEGIN)[0]
                code = re.sub(r"(?m)^#.*", "", text)
                # Its standard error goes nowhere: the line says everything.
                self.assertEqual(re.findall(r"& \$inspector (.*)\r", code), [command + " 2>$null"])
                self.assertEqual(set(re.findall(r"(?m)(?:^|[;{]) *exit ([^\s;}]*)", code)), exits)

    def code_of(self, name):
        text = (DIST / name).read_bytes().decode("ascii").split(SIG_BEGIN)[0]
        return re.sub(r"(?m)^ *#.*\r\n", "", text)

    def test_one_fall_back_line_of_the_probes_schema(self):
        """The three scripts write the same fall-back line, with the inspector's own line's
        fields in its order, and only with the statuses no-inspector (before the inspector is
        run, when neither build is installed) and error."""
        inspector = run(INSPECT_BUILD, "--audit", "--probe", DIST / "no-such.reg", check=False,
                        text=True).stdout
        fields = list(json.loads(inspector))
        writers = set()
        for name in self.SCRIPTS:
            with self.subTest(name):
                code = self.code_of(name)
                writer = re.search(r"(?ms)^function Write-ProbeLine.*?^}\r\n", code).group(0)
                writers.add(writer)
                line = re.search(r"(?s)\$line = \[ordered\]@\{(.*?)\}", writer).group(1)
                self.assertEqual(re.findall(r"(\w+) = ", line), fields)
                calls = re.findall(r"Write-ProbeLine '([\w-]+)'", code)
                self.assertEqual(calls, ["no-inspector", "error"])
                self.assertRegex(code, r"if \(-not \$present\) \{\r\n    Write-ProbeLine 'no-inspector'"
                                       r"(?s:.*)& \$inspector")
        self.assertEqual(len(writers), 1, "the scripts' fall-back lines differ")


class Checksums(unittest.TestCase):
    def test_every_file_summed_and_matching(self):
        listed = run("sha256sum", "-c", "--strict", "SHA256SUMS", cwd=DIST, text=True)
        self.assertEqual(set(re.findall(r"^(.*): OK$", listed.stdout, re.M)),
                         {p.name for p in DIST.iterdir()} - {"SHA256SUMS"})


if __name__ == "__main__":
    unittest.main()
