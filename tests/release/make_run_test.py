#!/usr/bin/env python3
"""`make run` as a user runs it: first on a desktop (the test display, which is an Xvfb one) with a
demo prefix that does not exist yet, clicking Install as the user would; then without a display.

Run inside tools/wine-env.sh (for its display):

  make_run_test.py --source SRC --build BUILD

BUILD is make's BUILD folder (the parent of the tests' build). Both runs must install the demo and
launch its product, saying so on their last line, the headless one keeping its screenshots, and
neither may touch the other builds in BUILD (the tests' own, a product's).
"""

import argparse
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_checks import check, failures  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DRIVE = os.path.join(HERE, "..", "..", "tools", "drive_installer.py")
# The screens a demo install passes, in order (Verifying may be too short to be caught).
SCREENS = ["choose-location", "downloading", "installing", "done", "product-running"]

def fingerprint(build):
    """What make run must leave alone: the other build folders and their caches, as they are."""
    found = {"folders": sorted(name for name in os.listdir(build) if name != "demo")}
    for cache in glob.glob(os.path.join(build, "*", "CMakeCache.txt")):
        if os.path.basename(os.path.dirname(cache)) != "demo":
            with open(cache, "rb") as f:
                found[cache] = (os.stat(cache).st_mtime_ns, hashlib.sha256(f.read()).hexdigest())
    return found


def windows(title):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                          capture_output=True, text=True).stdout.split()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    before = fingerprint(build)
    # As a user's shell has it: no make around it, none of the tests' Wine settings.
    env = {k: v for k, v in os.environ.items()
           if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEOVERRIDES", "WINEPREFIX",
                        "WINEDLLOVERRIDES")}
    make = ["make", "--no-print-directory", "-C", args.source, "run", "BUILD=" + build]
    demo_state = os.path.join(build, "demo", "wine")
    prefix = os.path.join(demo_state, "prefix")

    # On a desktop, with no demo prefix yet: the window opens and waits for the user's click.
    shutil.rmtree(demo_state, ignore_errors=True)
    # Its output to a file: the product and Wine's helpers started by it would hold a pipe open.
    log = os.path.join(build, "demo", "make-run-desktop.log")
    os.makedirs(os.path.dirname(log), exist_ok=True)
    with open(log, "w") as out:
        desktop = subprocess.Popen(make, env=env, stdout=out, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + 900  # make run builds the demo first on a fresh tree
    while not windows("^Quorvane Setup$") and desktop.poll() is None \
            and time.monotonic() < deadline:
        time.sleep(0.5)
    drive = subprocess.run([sys.executable, DRIVE, "--probe",
                            os.path.join(build, "demo", "access_probe.exe"), "--click",
                            "--timeout", "10"], env=dict(env, WINEPREFIX=prefix))
    try:
        desktop.wait(timeout=120)
    except subprocess.TimeoutExpired:
        desktop.kill()
        desktop.wait()
    with open(log) as f:
        said = f.read()
    print(said)
    check(drive.returncode == 0 and desktop.returncode == 0
          and (said.splitlines() or [""])[-1].startswith("launched: "),
          "on a desktop: Install clicked, the product launched, make run exited %s"
          % desktop.returncode)

    env.pop("DISPLAY")
    log = os.path.join(build, "demo", "make-run-headless.log")
    with open(log, "w") as out:
        headless = subprocess.run(make, env=env, stdout=out, stderr=subprocess.STDOUT,
                                  stdin=subprocess.DEVNULL, timeout=600)
    with open(log) as f:
        said = f.read()
    print(said)
    shots = os.path.join(build, "demo", "screens")
    kept = [name.split("-", 1)[1][:-4] for name in sorted(os.listdir(shots))
            if name.endswith(".png") and os.path.getsize(os.path.join(shots, name)) > 0]
    check(headless.returncode == 0 and (said.splitlines() or [""])[-1].startswith("launched: ")
          and [k for k in kept if k != "verifying"] == SCREENS,
          "without a display: installed, launched, screens kept %s" % kept)

    check(fingerprint(build) == before, "the other builds in %s untouched" % build)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
