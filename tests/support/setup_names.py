#!/usr/bin/env python3
"""Setup-program names for tests/win/http_test.cpp to fetch from the release server and nginx:

  setup_names.py --root DIR --tool tools/publish-release

Each name becomes a file in DIR/names/ that holds the name itself, and DIR/names/verdicts.txt
lists, one per line, the release tool's verdict on it ("ok" or "refused", the first word of its
--check line), a tab and the name (UTF-8).
"""

import argparse
import os
import shutil
import subprocess
import sys

# Every printable ASCII character inside a name, and what a server or a URL might read
# differently: escapes, non-ASCII letters (composed and not), look-alikes of "%" and "/".
NAMES = ["a%cb.exe" % c for c in map(chr, range(0x20, 0x7F)) if c != "/"] + [
    "a%41b.exe", "a%2541b.exe", "100%.exe", "a%zz.exe", "a%C3%A9.exe",
    "Quorvane Setup \u00e9t\u00e9.exe", "A\u0301.exe", "\u682a\u5f0f\u4f1a\u793e.exe",
    "\U0001F680.exe", "a\u00a0b.exe", "a  b.exe", "a\uff05b.exe", "a\u2215b.exe", ".setup.exe",
    "a..b.exe", "a;b=c&d.exe"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--tool", required=True)
    args = parser.parse_args()
    folder = os.path.join(args.root, "names")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in NAMES:
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(name)
    check = subprocess.run([sys.executable, args.tool, "--check", *NAMES], capture_output=True,
                           text=True)
    verdicts = check.stdout.splitlines()
    if len(verdicts) != len(NAMES):
        sys.exit("the release tool gave %d verdicts for %d names" % (len(verdicts), len(NAMES)))
    with open(os.path.join(folder, "verdicts.txt"), "w", encoding="utf-8") as f:
        for name, verdict in zip(NAMES, verdicts):
            f.write("%s\t%s\n" % ("ok" if verdict.startswith("ok: ") else "refused", name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
