#!/usr/bin/env python3
"""Checks that every #include "..." under inspect/ runs down the rooms of inspect/README.md:
a file may include only its own room and the rooms its room may use. An include that names no
file of inspect/ (the program's own smbios/, platform/, ... and generated headers) is not
checked. Prints each include that breaks the order, naming the file, and exits 1; exits 0 when
there is none. Usage: check-inspect-rooms.py [INSPECT_DIR]"""
import re
import sys
from pathlib import Path

# What each room may include besides itself.
MAY_USE = {
    "platform": set(),
    "input": {"platform"},
    "inspection": {"input", "platform"},
    "report": {"inspection", "input", "platform"},
    "live": {"input", "platform"},
    "commands": {"report", "inspection", "input", "live", "platform"},
    ".": {"commands", "inspection", "platform"},  # Main.cpp: dispatch and what options need
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def room_of(path: Path, root: Path) -> str:
    parts = path.relative_to(root).parts
    return parts[0] if len(parts) > 1 else "."


def breaks(root: Path):
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        room = room_of(path, root)
        if room not in MAY_USE:
            yield f"{path}: is in no room of the layout ({room}/)"
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = root / match.group(1)
            if not target.is_file():
                continue  # outside inspect/
            to = room_of(target, root)
            if to != room and to not in MAY_USE[room]:
                yield (f"{path}:{number}: includes \"{match.group(1)}\": {room}/ may not use "
                       f"{to}/")


def main() -> int:
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent.parent / "inspect")
    found = list(breaks(root.resolve()))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) go up the rooms of inspect/ (see inspect/README.md)")
        return 1
    print(f"inspect/: every include runs down the rooms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
