#!/usr/bin/env python3
"""The plain script the fleet report is measured against: json.loads of every line of the files
given (or of standard input), counting the lines by their "status" member. Lines that are no JSON
object are counted apart.

    json_loop.py FILE...
"""

import collections
import json
import sys


def count(stream, counts):
    for line in stream:
        try:
            record = json.loads(line)
        except ValueError:
            counts["(no JSON)"] += 1
            continue
        counts[record.get("status") if isinstance(record, dict) else "(no object)"] += 1


def main():
    counts = collections.Counter()
    if len(sys.argv) < 2:
        count(sys.stdin.buffer, counts)
    for name in sys.argv[1:]:
        with open(name, "rb") as stream:
            count(stream, counts)
    for status, number in counts.most_common():
        print(f"{status}: {number}")


if __name__ == "__main__":
    main()
