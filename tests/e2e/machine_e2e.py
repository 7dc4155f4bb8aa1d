#!/usr/bin/env python3
"""End to end under Wine: the installer on a machine where other software holds its files.

Run inside tools/wine-env.sh and tests/support/with_server.py:

  machine_e2e.py --installer short_wait_installer.exe --fake-setup fake_setup.exe
                 --scanner scanner.exe --nsis-setup quorvane-setup.exe --work DIR

The installer is its own entry and core, built with the test hooks so that its waits for a held
file can be shortened from the environment (QV_TEST_BUSY_BOUND_MS) and the start of the setup
program made to fail as Windows fails a blocked one (QV_TEST_SETUP_START_ERROR); it reports its
screens and detail lines on standard output (tests/support/installer_reporter_win.cpp). The
stand-in scanner (tests/support/scanner.cpp) takes a file exclusively as soon as nobody else has
it open. The installer keeps a handle on its download from the moment the file is made until the
setup program has ended, so the scanner can take a download only before a run (the complete file
an earlier run left, which Try Again verifies again) or as the file is deleted. Every wait is
bounded. Last, the example NSIS setup program (examples/quorvane-setup.nsi, built by makensis with
the stand-in as its product) installs through the installer's hold into a folder typed relative
to the installer's current folder.
"""

import argparse
import os
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from e2e_checks import check, control, failures, poll, prefix_folders  # noqa: E402

PUBLISH_RELEASE = os.path.join(HERE, "..", "..", "tools", "publish-release")
LOCKED = "another program kept the download locked (often security software)"
BLOCKED = "Windows or security software blocked the installer from starting"
NOT_STARTED = "the installer couldn't be started"
WAITING_DOWNLOAD = "Waiting for another program to release the download..."
WAITING_PRODUCT = "Waiting for another program to release Quorvane..."
LAUNCH_FAILED = "Quorvane couldn't be started. Try again in a moment."
VERIFYING, INSTALLING, DONE, FAILED = "2", "3", "4", "5"


class Lines:
    """A program's standard output, read line by line as it comes."""

    def __init__(self, proc):
        self.proc, self.lines, self.lock = proc, [], threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            with self.lock:
                self.lines.append((time.monotonic(), raw.decode("utf-8", "replace").rstrip("\r\n")))

    def seen(self, line):
        """When `line` first came, or None."""
        with self.lock:
            return next((at for at, text in self.lines if text == line), None)

    def text(self):
        with self.lock:
            return [text for _, text in self.lines]


def start_scanner(args, path, hold_ms):
    proc = subprocess.Popen(["wine", args.scanner, "hold", path, str(hold_ms)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return Lines(proc)


def stop(lines):
    if lines.proc.poll() is None:
        lines.proc.kill()
    lines.proc.wait(timeout=30)


class Case:
    """One release on the server, and runs of the installer against it."""
    count = 0

    def __init__(self, args, name, setup_program=None):
        Case.count += 1
        self.args, self.name = args, name
        self.setup = "QuorvaneSetup-%s-%d.exe" % (name, Case.count)
        self.folder = os.path.join(args.root, name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        shutil.copy(setup_program or args.fake_setup, os.path.join(self.folder, self.setup))
        subprocess.run([sys.executable, PUBLISH_RELEASE, os.path.join(self.folder, self.setup),
                        "2.0.%d" % Case.count], check=True, stdout=subprocess.DEVNULL)
        self.download = os.path.join(args.download_folder, self.setup)
        self.product = os.path.join(args.install_folder, "Quorvane.exe")
        shutil.rmtree(args.install_folder, ignore_errors=True)
        control(args.server, "reset")

    def start(self, cwd=None, **env):
        """The installer, started (in the folder `cwd`); it clicks Install itself."""
        environment = dict(os.environ, ZEL_BOOTSTRAP_FEED_URL=self.args.server + self.name + "/",
                           QV_FAKE_SETUP_PRODUCT="copy", QV_FAKE_SETUP_COUNT="1",
                           **{k: str(v) for k, v in env.items()})
        proc = subprocess.Popen(["wine", self.args.installer], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, env=environment, cwd=cwd)
        return Lines(proc)

    def finish(self, run, what):
        """Waits for the installer's end: its exit code (None when it had to be killed)."""
        try:
            return run.proc.wait(timeout=120)
        except subprocess.TimeoutExpired:
            stop(run)
            check(False, what + ": the installer ends (%s)" % run.text())
            return None

    def setup_requests(self):
        log = control(self.args.server, "log").splitlines()
        return [row for row in log if row.split("\t")[0].endswith("/" + self.setup)]

    def launches(self):
        # The launched product is the stand-in copied there; give it a moment to start.
        starts = self.product + ".starts"
        poll("the product's start", lambda: os.path.exists(starts), 10)
        time.sleep(1)  # a second launch would have come by now
        if not os.path.exists(starts):
            return 0
        with open(starts, "rb") as f:
            return f.read().decode("utf-16-le").count("started")

    def ran(self):
        return os.path.exists(self.download + ".record")


def fresh_download(args):
    """A scanner watching the download from the start: the file is never left unheld for it to
    take, and whatever it takes it for 3 s at the end is waited out before Done."""
    case = Case(args, "fresh")
    scanner = start_scanner(args, case.download, 3000)
    run = case.start()
    code = case.finish(run, "fresh download")
    stop(scanner)
    check(code == 0 and run.seen("screen=" + DONE) is not None,
          "fresh download with a scanner: Done, exit 0 (%s)" % run.text())
    check(case.launches() == 1, "fresh download: the product launched once")
    check(len(case.setup_requests()) == 1, "fresh download: downloaded once %s"
          % case.setup_requests())
    check(not os.path.exists(case.download), "fresh download: the setup program's file is gone")
    print("     the scanner: %s" % (scanner.text() or ["never had the file"]), flush=True)


def earlier_download(args, case):
    """The complete file an earlier run left in the download folder."""
    os.makedirs(args.download_folder, exist_ok=True)
    shutil.copy(os.path.join(case.folder, case.setup), case.download)
    if os.path.exists(case.download + ".record"):
        os.remove(case.download + ".record")


def download_held(args):
    """A 3-second hold on the finished download is waited out on Verifying; a hold of minutes
    ends the run within the bound with the reason, nothing runs and the window closes normally;
    Try Again then verifies without downloading."""
    case = Case(args, "held-briefly")
    earlier_download(args, case)
    scanner = start_scanner(args, case.download, 3000)
    poll("the scanner's hold", lambda: scanner.seen("held"), 30)
    run = case.start()
    code = case.finish(run, "3-second hold")
    stop(scanner)
    check(code == 0 and run.seen("screen=" + DONE) and run.seen("detail=" + WAITING_DOWNLOAD),
          "3-second hold on the download: waited, then Done (%s)" % run.text())
    check(case.launches() == 1 and not case.setup_requests() and not os.path.exists(case.download),
          "3-second hold: launched once, nothing downloaded, the file gone")

    case = Case(args, "held-long")
    earlier_download(args, case)
    bound_ms = 3000
    scanner = start_scanner(args, case.download, 600000)
    poll("the scanner's hold", lambda: scanner.seen("held"), 30)
    run = case.start(QV_TEST_BUSY_BOUND_MS=bound_ms)
    code = case.finish(run, "a hold of minutes")
    clicked, failed = run.seen("clicked"), run.seen("failed=" + LOCKED)
    check(failed is not None and code == 0,
          "a hold of minutes: Failed with the reason, closed normally (%s)" % run.text())
    check(failed is not None and clicked is not None and failed - clicked < bound_ms / 1000 + 8,
          "a hold of minutes: within the bound")
    check(not case.ran() and os.path.exists(case.download), "a hold of minutes: nothing ran")

    # Try Again in the same window once the scanner has let go.
    run = case.start(QV_TEST_BUSY_BOUND_MS=bound_ms, QV_REPORTER_AGAIN_AFTER_MS=2000)
    poll("the failure", lambda: run.seen("failed=" + LOCKED), 60)
    stop(scanner)
    code = case.finish(run, "Try Again")
    check(code == 0 and run.seen("again") and run.text()[-1].startswith("finished=0"),
          "Try Again after the hold: Done (%s)" % run.text())
    check(case.launches() == 1 and not case.setup_requests(),
          "Try Again: verified and run without a download %s" % case.setup_requests())


def product_held(args):
    """A 4-second hold on the installed product delays the launch; a hold of minutes leaves the
    window on Done with its Launch button, which launches once the product is let go."""
    case = Case(args, "product-briefly")
    scanner = start_scanner(args, case.product, 4000)
    run = case.start()
    code = case.finish(run, "4-second hold on the product")
    stop(scanner)
    check(code == 0 and run.seen("detail=" + WAITING_PRODUCT) and case.launches() == 1,
          "4-second hold on the product: waited, launched once (%s %s)"
          % (run.text(), scanner.text()))

    case = Case(args, "product-long")
    scanner = start_scanner(args, case.product, 600000)
    run = case.start(QV_TEST_BUSY_BOUND_MS=2000, QV_REPORTER_AGAIN_AFTER_MS=2000)
    poll("the launch's failure", lambda: run.seen("detail=" + LAUNCH_FAILED), 60)
    alive = run.proc.poll() is None
    stop(scanner)
    code = case.finish(run, "a hold of minutes on the product")
    check(alive and run.seen("launch_button=1"),
          "a hold of minutes on the product: Done stays, with its Launch button (%s)" % run.text())
    check(code == 0 and run.seen("again") and case.launches() == 1,
          "the Launch button then launches it once")


def blocked_and_tampered(args):
    """A start that Windows refuses for a block reads as a block, any other as before; and while
    the setup program runs, no other program can write to its file or delete it."""
    for error, reason in ((1260, BLOCKED), (193, NOT_STARTED)):
        case = Case(args, "blocked-%d" % error)
        run = case.start(QV_TEST_SETUP_START_ERROR=error)
        code = case.finish(run, "start error %d" % error)
        check(code == 0 and run.seen("failed=" + reason) and not case.ran()
              and os.path.exists(case.download),
              "start error %d: %r, the file kept (%s)" % (error, reason, run.text()))

    case = Case(args, "tampered")
    gate = os.path.join(args.work, "gate")
    if os.path.exists(gate):
        os.remove(gate)
    run = case.start(QV_FAKE_SETUP_GATE="Z:" + gate.replace("/", "\\"))
    poll("the setup program's start", lambda: run.seen("screen=" + INSTALLING) and case.ran(), 60)
    tamper = subprocess.run(["wine", args.scanner, "tamper", case.download], capture_output=True,
                            timeout=60)
    with open(gate, "w") as f:
        f.write("go")
    code = case.finish(run, "tampered")
    check(tamper.returncode == 0 and code == 0,
          "a second program can't write to or delete the running setup's file (%s)"
          % tamper.stdout.decode().strip())


def linked_download_folder(args):
    """The download folder is a link to another folder (planted where the temporary folder is
    shared): the run ends saying so before anything is swept or downloaded, and nothing in the
    other folder is touched."""
    case = Case(args, "linked")
    victim = os.path.join(args.work, "someone-elses-files")
    shutil.rmtree(victim, ignore_errors=True)
    os.makedirs(victim)
    for name in ("QuorvaneSetup-1.0.0.exe", "thesis.docx"):
        with open(os.path.join(victim, name), "w") as f:
            f.write("not ours")
    shutil.rmtree(args.download_folder, ignore_errors=True)
    os.symlink(victim, args.download_folder)
    try:
        run = case.start()
        code = case.finish(run, "a linked download folder")
    finally:
        os.remove(args.download_folder)
    check(code == 0 and run.seen("failed=couldn't create a temp folder"),
          "a linked download folder: refused (%s)" % run.text())
    check(sorted(os.listdir(victim)) == ["QuorvaneSetup-1.0.0.exe", "thesis.docx"]
          and not case.setup_requests(),
          "a linked download folder: the other folder untouched, nothing downloaded (%s)"
          % sorted(os.listdir(victim)))


def nsis_setup(args):
    """The example NSIS setup program gets "/S /currentuser /D=Apps\\Quorvane Example" from an
    installer whose current folder is `current`: it installs its product there as Quorvane.exe,
    asks nothing, ends with 0, and the installer launches the product."""
    case = Case(args, "nsis", args.nsis_setup)
    current = os.path.join(args.work, "nsis-current")
    shutil.rmtree(current, ignore_errors=True)
    os.makedirs(current)
    case.product = os.path.join(current, "Apps", "Quorvane Example", "Quorvane.exe")
    run = case.start(cwd=current, QV_REPORTER_FOLDER="Apps\\Quorvane Example")
    code = case.finish(run, "NSIS setup")
    check(code == 0 and run.seen("screen=" + DONE) and case.launches() == 1,
          "the NSIS example installs into a relative folder and its product launches (%s)"
          % run.text())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--fake-setup", required=True)
    parser.add_argument("--scanner", required=True)
    parser.add_argument("--nsis-setup", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    args.server = os.environ["QV_TEST_SERVER"]
    args.root = os.environ["QV_TEST_ROOT"]
    os.makedirs(args.work, exist_ok=True)
    folders = prefix_folders()
    if not folders:
        return 1
    args.download_folder, args.install_folder = folders
    fresh_download(args)
    download_held(args)
    product_held(args)
    blocked_and_tampered(args)
    linked_download_folder(args)
    nsis_setup(args)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
