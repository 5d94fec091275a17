#!/usr/bin/env python3
"""Peer check of veskinfo-inspect against dmidecode: wraps well-formed tables in the dump format
`dmidecode --from-dump` reads and checks that the manufacturer and the list of OEM strings agree,
and that the inspector reads the same dump file as the table inside it.

    peer_check.py INSPECTOR SOURCE_DIR --sample NAME
    peer_check.py INSPECTOR SOURCE_DIR --generated COUNT [--seed SEED]

Exits 0 when every table agrees, 1 on a disagreement, 77 (skipped) when dmidecode is missing.

Where the two differ by design, the comparison says so:
- a manufacturer string number of 0: dmidecode prints "Not Specified", VeskInfo records "";
- a string of 128 characters or more: VeskInfo uses its first 127 characters;
- bytes below 0x20 or from 0x7F up: dmidecode prints each as ".", VeskInfo keeps the byte.
"""

import argparse
import json
import random
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import dmidump  # noqa: E402

NOT_SPECIFIED = "Not Specified"


def dmidecode_view(text):
    """A string as dmidecode prints it."""
    return "".join(c if 0x20 <= ord(c) < 0x7F else "." for c in text)


def veskinfo_view(text):
    """A string as VeskInfo's walk uses it."""
    return text[:127]


def run_dmidecode(table, smbios3):
    """(manufacturers, OEM strings) that dmidecode reads from `table`."""
    with tempfile.NamedTemporaryFile(suffix=".dump") as dump:
        dump.write(dmidump.dump(table, smbios3))
        dump.flush()
        out = subprocess.run(["dmidecode", "--from-dump", dump.name, "-t", "1", "-t", "11"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True).stdout
    manufacturers, oem, section = [], [], None
    for line in out.decode("latin-1").split("\n"):
        if line and not line.startswith("\t"):
            section = line
        elif section == "System Information" and line.startswith("\tManufacturer: "):
            manufacturers.append(line[len("\tManufacturer: "):])
        elif section == "OEM Strings" and line.startswith("\tString "):
            oem.append(line.split(": ", 1)[1])
    return manufacturers, oem


def run_inspector(inspector, table):
    """The inspector's JSON report on `table`, given on standard input."""
    done = subprocess.run([inspector, "--json", "-"], input=table, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise AssertionError(f"inspector exit {done.returncode}: {done.stderr.decode().strip()}")
    return json.loads(done.stdout.decode("utf-8"))


def compare(name, inspector, walked, dmidecoded, smbios3, maker_named=True):
    """Problems found between the inspector on `walked` and dmidecode on `dmidecoded`."""
    report = run_inspector(inspector, walked)
    manufacturers, oem = run_dmidecode(dmidecoded, smbios3)
    problems = []
    # The very file dmidecode read gives the inspector the same table.
    from_dump = run_inspector(inspector, dmidump.dump(dmidecoded, smbios3))
    if from_dump["format"] != "dmidecode-dump":
        problems.append(f"the dump was taken for {from_dump['format']!r}")
    elif walked == dmidecoded and from_dump["values"] != report["values"]:
        problems.append(f"values from the dump {from_dump['values']!r} vs {report['values']!r}")
    if not manufacturers:
        problems.append("dmidecode found no type-1 structure")
    elif maker_named:
        expected = veskinfo_view(manufacturers[-1])
        if dmidecode_view(report["manufacturer"]) != expected:
            problems.append(f"manufacturer {report['manufacturer']!r} vs {manufacturers[-1]!r}")
    elif manufacturers[-1] != NOT_SPECIFIED or report["manufacturer"] != "":
        # By design: no manufacturer string is "Not Specified" there and empty here.
        problems.append(f"unnamed manufacturer {report['manufacturer']!r} vs "
                        f"{manufacturers[-1]!r}")
    ours = [dmidecode_view(s["text"]) for s in report["oem_strings"]]
    theirs = [veskinfo_view(s) for s in oem]
    if ours != theirs:
        problems.append(f"OEM strings {ours!r} vs {theirs!r}")
    return [f"{name}: {p}" for p in problems]


# --- the bundled samples --------------------------------------------------------------------


def check_sample(inspector, source_dir, name):
    walked = (Path(source_dir) / "samples" / name).read_bytes()
    # dmidecode reads the table proper; the header some registry copies carry is no structure
    # (a length of 3 stops dmidecode), while VeskInfo walks it from byte 0.
    dmidecoded = walked[8:] if name == "registry-header.bin" else walked
    problems = []
    for smbios3 in (True, False):
        problems += compare(name, inspector, walked, dmidecoded, smbios3)
    return problems


# --- generated tables -----------------------------------------------------------------------

PRINTABLE = "".join(chr(c) for c in range(0x20, 0x7F))


EDGE_LENGTHS = [1, 2, 5, 12, 30, 60, 127, 128, 180]


def random_text(rng, lengths=EDGE_LENGTHS):
    length = rng.choice(lengths)
    text = "".join(rng.choice(PRINTABLE) for _ in range(length))
    if rng.random() < 0.1:  # a byte outside ASCII
        at = rng.randrange(len(text))
        text = text[:at] + chr(rng.randrange(0x80, 0x100)) + text[at + 1:]
    return text


def random_oem_string(rng):
    roll = rng.random()
    if roll < 0.25:
        return f"1[{rng.randrange(0x10000):0{rng.randrange(1, 6)}x}]"
    if roll < 0.45:
        return "13[" + "".join(rng.choice("ABCDEFGHJKLMNPRSTUVWXYZ0123456789-") for _ in
                               range(rng.randrange(1, 12))) + "]"
    return random_text(rng)


def random_table(rng, ms, others_count=(2, 12), lengths=EDGE_LENGTHS):
    """A well-formed table: one type-1 structure, zero to three OEM-strings structures and other
    structures (a number in the range `others_count`) in random order, closed by the
    end-of-table structure; texts of the `lengths` given."""
    t = ms.Table()
    text = lambda: random_text(rng, lengths) if rng.random() < 0.8 else None  # noqa: E731
    others = [
        lambda: t.add(ms.bios_information, text(), text(), text()),
        lambda: t.add(ms.baseboard, text(), text(), text(), text(), text(), text(), 0),
        lambda: t.add(ms.chassis, text(), 0x03, text(), text(), text(), text()),
        lambda: t.add(ms.cache, text(), rng.randrange(1, 4), 256, 0x08),
        lambda: t.add(ms.system_slot, text(), 0xA5, 0x08, 0x03, 1, 1, 0),
        lambda: t.add(ms.memory_device, 0, text(), text(), 4096, text(), text(), text()),
        lambda: t.add(ms.boot_information),
        lambda: t.add(oem_specific, ms, rng.randrange(128, 256),
                      bytes(rng.randrange(256) for _ in range(rng.randrange(0, 12))),
                      [random_text(rng) for _ in range(rng.randrange(0, 3))]),
    ]
    maker = random_text(rng) if rng.random() < 0.9 else None
    plan = [rng.choice(others) for _ in range(rng.randrange(*others_count))]
    plan += [lambda: t.add(ms.oem_strings, [random_oem_string(rng)
                                            for _ in range(rng.randrange(0, 7))])
             for _ in range(rng.randrange(0, 4))]
    plan.append(lambda: t.add(ms.system_information, maker, text(), text(), text(),
                              bytes(16), text(), text()))
    rng.shuffle(plan)
    for step in plan:
        step()
    t.add(ms.end_of_table)
    return t.bytes(), maker is not None


def oem_specific(handle, ms, type_, fields, texts):
    """A structure of a vendor's own type: random formatted bytes and strings."""
    s = ms.Strings()
    for text in texts:
        s.add(text)
    return ms.structure(type_, handle, fields, s)


def check_generated(inspector, source_dir, count, seed):
    sys.path.insert(0, str(Path(source_dir) / "samples"))
    import make_samples as ms

    rng = random.Random(seed)
    problems = []
    for i in range(count):
        table, maker_named = random_table(rng, ms)
        problems += compare(f"generated #{i} (seed {seed})", inspector, table, table,
                            smbios3=i % 2 == 0, maker_named=maker_named)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("inspector")
    parser.add_argument("source_dir")
    parser.add_argument("--sample")
    parser.add_argument("--generated", type=int)
    parser.add_argument("--seed", type=int, default=20240611)
    args = parser.parse_args()
    if shutil.which("dmidecode") is None:
        print("dmidecode is not installed (scripts/bootstrap.sh installs it): skipped")
        return 77
    if args.sample:
        problems = check_sample(args.inspector, args.source_dir, args.sample)
    else:
        problems = check_generated(args.inspector, args.source_dir, args.generated, args.seed)
    for problem in problems:
        print(problem)
    print(f"{len(problems)} disagreement(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
