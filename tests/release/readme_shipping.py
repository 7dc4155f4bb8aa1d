#!/usr/bin/env python3
"""The README's shipping steps, run as they are written, so that they cannot drift.

Run inside tools/wine-env.sh and tests/support/with_server.py, which serves WORK/quorvane/release:

  readme_shipping.py --source SRC --work WORK --setup demo_setup.exe

The code blocks marked "<!-- shipping -->" in SRC/README.md run in order with sh, in a copy of
the source (WORK/quorvane; its build/product kept between runs, so that a second run rebuilds
only what changed), with the README's placeholders filled in: $HOME is WORK/home, the product's
own setup program (dist/Quorvane Setup 1.4.2.exe) is the demo's, there is no time-stamp
server, nothing is uploaded (the test server serves WORK/quorvane/release itself) and the served
release is checked at the test server's address. Then the signed installer the steps made installs the release they published under Wine:
it finds the signed feed and the signed setup program and launches the product.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MARK = "<!-- shipping -->"
SOURCE_PARTS = ["CMakeLists.txt", "Makefile", "cmake", "src", "assets", "tools"]
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
           if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEOVERRIDES")}
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
    failures = 0
    for ok, what in [
        (lines[:2] == ["version: 1.4.2", "path: Quorvane Setup 1.4.2.exe"] and len(lines) == 6
         and lines[4].startswith("expires: ") and lines[5].startswith("signature: "),
         "the published feed is dated and signed"),
        (signers == ["Acme Widgets Ltd"] * 2,
         "the installer and the published setup program are signed by the publisher %s" % signers),
    ]:
        print(("ok   " if ok else "FAIL ") + what)
        failures += not ok

    drive = subprocess.run([sys.executable, os.path.join(args.source, "tools", "demo",
                                                         "drive_demo.py"),
                            "--exe", installer, "--feed", os.environ["QV_TEST_SERVER"]])
    print(("ok   " if drive.returncode == 0 else "FAIL ") +
          "the locked installer the steps built installs the release they published")
    failures += drive.returncode != 0
    # The demo product shows a message box; Escape closes it, so that later tests see no window.
    def product_windows():
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Quorvane$"],
                              capture_output=True, text=True).stdout.split()

    for window in product_windows():
        subprocess.run(["xdotool", "windowfocus", "--sync", window], stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "key", "Escape"])
    deadline = time.monotonic() + 10
    while product_windows() and time.monotonic() < deadline:
        time.sleep(0.1)
    print("product window left open" if product_windows() else "product closed")
    print("%d failure(s)" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
