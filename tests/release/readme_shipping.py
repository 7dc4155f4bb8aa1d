#!/usr/bin/env python3
"""The README's shipping steps, run as they are written, so that they cannot drift.

  readme_shipping.py --source SRC --work WORK --setup demo_setup.exe

The code blocks marked "<!-- shipping -->" in SRC/README.md run in order with sh, in a copy of
the source (WORK/quorvane; its build/product and build/try kept between runs, so that a second
run rebuilds only what changed), with the README's placeholders filled in: $HOME is WORK/home,
the product's own setup program (dist/Quorvane Setup 1.4.2.exe) is the demo's, there is no
time-stamp server and no display, nothing is uploaded (the test server, QV_TEST_SERVER, serves
WORK/quorvane/release itself) and the served release is checked at that server's address. So the
step "make try" installs the release the steps published with the signed installer they made,
under Wine on a display of its own: it must find the signed feed and the signed setup program,
launch the product and keep its screenshots.
"""

import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MARK = "<!-- shipping -->"
SOURCE_PARTS = ["CMakeLists.txt", "Makefile", "cmake", "src", "assets", "tools",
                "tests/support"]  # make try serves the release with the tests' server
PLACEHOLDERS = {"http://timestamp.example.com/rfc3161": "",  # no network in the tests
                "rsync -t release/latest.yml upload@downloads.example.com:quorvane/": "true"}
SERVED = "--verify-served https://downloads.example.com/quorvane/"


def shipping_blocks(readme):
    """The indented code block after each mark, without its indentation."""
    lines = open(readme, encoding="utf-8").read().splitlines()
    blocks = []
    for at, line in enumerate(lines):
        if line.strip() != MARK:
            continue
        block = []
        for line in lines[at + 1:]:
            if line.startswith("    ") or (not line.strip() and block == []):
                block.append(line[4:])
            elif not line.strip():
                block.append("")
            else:
                break
        blocks.append("\n".join(block).strip() + "\n")
    return blocks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--setup", required=True, help="stands in for the product's setup program")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    copy = os.path.join(work, "quorvane")
    home = os.path.join(work, "home")
    os.makedirs(copy, exist_ok=True)
    for part in SOURCE_PARTS:
        target = os.path.join(copy, part)
        if os.path.isdir(target):
            shutil.rmtree(target)
        source = os.path.join(args.source, part)
        (shutil.copytree if os.path.isdir(source) else shutil.copy2)(source, target)
    for folder in (home, os.path.join(copy, "dist")):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    release = os.path.join(copy, "release")
    os.makedirs(release, exist_ok=True)
    for name in os.listdir(release):  # the folder the server serves
        os.remove(os.path.join(release, name))
    shutil.copy(args.setup, os.path.join(copy, "dist", "Quorvane Setup 1.4.2.exe"))

    blocks = shipping_blocks(os.path.join(args.source, "README.md"))
    if len(blocks) < 4:
        sys.exit("the README has %d blocks marked %s" % (len(blocks), MARK))
    # The steps as a user runs them: no make of ours around them, no Wine settings of the tests.
    env = {k: v for k, v in os.environ.items()
           if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEOVERRIDES", "DISPLAY",
                        "WINEPREFIX", "WINEDLLOVERRIDES", "WINEDEBUG")}
    env["HOME"] = home
    for number, block in enumerate(blocks, 1):
        for placeholder, value in PLACEHOLDERS.items():
            block = block.replace(placeholder, value)
        block = block.replace(SERVED, "--verify-served " + os.environ["QV_TEST_SERVER"])
        print("--- step %d ---\n%s" % (number, block), flush=True)
        if subprocess.run(["sh", "-ec", block], cwd=copy, env=env).returncode != 0:
            print("FAIL: step %d" % number)
            return 1

    feed = open(os.path.join(release, "latest.yml"), encoding="utf-8").read()
    print(feed)
    installer = os.path.join(copy, "dist", "QuorvaneInstaller.exe")
    tool = os.path.join(args.source, "tools", "publish-release")
    signers = subprocess.run([sys.executable, tool, "--signer", installer,
                              os.path.join(release, "Quorvane Setup 1.4.2.exe")],
                             capture_output=True, text=True).stdout.splitlines()
    lines = feed.splitlines()
    screens = os.path.join(copy, "build", "try", "screens")
    kept = (sorted(os.listdir(screens)) if os.path.isdir(screens) else []) or [""]
    failures = 0
    for ok, what in [
        (lines[:2] == ["version: 1.4.2", "path: Quorvane Setup 1.4.2.exe"] and len(lines) == 6
         and lines[4].startswith("expires: ") and lines[5].startswith("signature: "),
         "the published feed is dated and signed"),
        (signers == ["Acme Widgets Ltd"] * 2,
         "the installer and the published setup program are signed by the publisher %s" % signers),
        (kept[0] == "1-choose-location.png" and kept[-1].endswith("-done.png"),
         "make try kept a screenshot of each screen it passed %s" % kept),
    ]:
        print(("ok   " if ok else "FAIL ") + what)
        failures += not ok
    print("%d failure(s)" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
