#!/usr/bin/env python3
"""Checks that includes point one way: app/ over stamp/ over textfile/ over win/. A source file
may include headers of its own floor and of the floors below it, never of one above."""

import re
import subprocess
import sys
from pathlib import Path

FLOORS = ["win", "textfile", "stamp", "app"]  # lowest first
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def main():
    root = Path(__file__).resolve().parent.parent
    files = subprocess.run(["git", "ls-files", *FLOORS], cwd=root, capture_output=True, text=True,
                           check=True).stdout.split()
    wrong = []
    for name in files:
        floor = FLOORS.index(name.split("/")[0])
        for header in INCLUDE.findall((root / name).read_text(encoding="utf-8")):
            top = header.split("/")[0]
            if top in FLOORS and FLOORS.index(top) > floor:
                wrong.append("%s includes %s" % (name, header))
    for line in wrong:
        print("include points up: " + line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
