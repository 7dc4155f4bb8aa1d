#!/usr/bin/env python3
"""End to end under Wine: the signed feed and the pinned publisher.

Run inside tools/wine-env.sh and tests/support/with_server.py:

  trust_e2e.py --locked locked_installer.exe --open open_installer.exe
               --expiring expiring_installer.exe --fake-setup fake_setup.exe
               --keys DIR --publisher NAME --work DIR --planted wintrust.dll --control EXE
               --shipped locked_shipped_installer.exe --probe access_probe.exe

The programs are the installer's own entry and core (src/app/main_win.cpp, qv_core), linked with
the test keys and publisher (locked), with those and a required expiry date (expiring) or with none
(open, as the default build); each reports its screens on standard output
(tests/support/installer_reporter_win.cpp) and clicks Install itself.
The release tool signs the feeds with the test key (DIR/feed-key-a.pem); osslsigncode signs the
stand-in setup program with certificates of a test authority that only the test prefix trusts.
Every attack is also run against the open program: that control shows the attack would have
worked without the lock. Each refusal of a feed is also what publish-release --verify-served says
of the same served release. Last, the attack is run once against the installer exactly as it ships
(linked with the test keys and publisher, nothing reporting from inside), read from outside through
its accessible objects. Every wait is bounded.
"""

import argparse
import importlib.machinery
import importlib.util
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from code_signing import make_pki, sign  # noqa: E402
from e2e_checks import (check, control, failures, poll, prefix_folders, read_tree,  # noqa: E402
                        tree_names)

PUBLISH_RELEASE = os.path.join(HERE, "..", "..", "tools", "publish-release")
FEED_REASON = "the release feed isn't signed by the publisher"
PUBLISHER_REASON = "the download isn't signed by the publisher, so it was discarded"
CHECKSUM_REASON = "the download failed verification (checksum mismatch), so it was discarded"
EXPIRED_REASON = "the release feed has expired (the publisher hasn't renewed it)"
NO_EXPIRY_REASON = "the release feed has no expiry date"
CLOCK_REASON = "this computer's clock looks wrong (it says %s): set the right date and try again"
SHORT_REASON = "the file on the server is smaller than the release feed says"
DAY = 86400
DONE, FAILED = "4", "5"


class Release:
    """One case's folder on the release server: a setup program and its feed."""
    count = 0

    def __init__(self, root, name, program, sign_key=None, valid_for=None):
        Release.count += 1
        # A name of its own per run: a finished download left in the temporary folder would
        # otherwise be found complete by a later run.
        self.setup = "QuorvaneSetup-%s-%d.exe" % (name, time.time_ns())
        self.folder = os.path.join(root, name)
        self.name = name
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        shutil.copy(program, os.path.join(self.folder, self.setup))
        command = [sys.executable, PUBLISH_RELEASE]
        if sign_key:
            # The release tool is told the key is trusted: the attacks need feeds it would refuse.
            command += ["--sign-key", sign_key, "--verify-key", sign_key + ".pub"]
        if valid_for:
            command += ["--valid-for", str(valid_for)]
        subprocess.run(command + [os.path.join(self.folder, self.setup), "1.0.%d" % Release.count],
                       check=True, stdout=subprocess.DEVNULL)

    @property
    def feed(self):
        with open(os.path.join(self.folder, "latest.yml"), "rb") as f:
            return f.read()

    @feed.setter
    def feed(self, data):
        with open(os.path.join(self.folder, "latest.yml"), "wb") as f:
            f.write(data)

    def expire_in(self, seconds, key=None):
        """Moves the feed's expiry date to `seconds` from now, a date the release tool would not
        write, signed again with `key` through the tool's own signing (or left as signed)."""
        tool = importlib.util.module_from_spec(importlib.util.spec_from_loader(
            "publish_release", importlib.machinery.SourceFileLoader("publish_release",
                                                                    PUBLISH_RELEASE)))
        tool.__loader__.exec_module(tool)
        signed, line, end = tool.split_signed(self.feed)
        _, start, stop = tool.feed_value(signed, "expires")
        signed = signed[:start] + b"expires: " + \
            tool.expiry_text(int(time.time()) + seconds).encode() + signed[stop:]
        if key:
            line = tool.signature_line(key, signed)[0].rstrip("\n")
        self.feed = signed + line.encode() + end


class Run:
    """One run of a program against a release: what it reported, what the server saw, and what
    was left of the setup program in the download folder."""

    def __init__(self, args, exe, release, plan=None):
        control(args.server, "reset")
        if plan:  # what the server does to the feed's requests
            control(args.server, "plan", path="/%s/latest.yml" % release.name, actions=plan)
        shutil.rmtree(args.install_folder, ignore_errors=True)
        record = os.path.join(args.install_folder, "Quorvane.exe.record")
        env = dict(os.environ, ZEL_BOOTSTRAP_FEED_URL=args.server + release.name + "/",
                   QV_FAKE_SETUP_PRODUCT="copy")
        proc = subprocess.Popen(["wine", exe], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                env=env)
        try:
            out, _ = proc.communicate(timeout=120)
            self.exit_code = proc.returncode
        except subprocess.TimeoutExpired:
            proc.kill()
            out, _ = proc.communicate()
            self.exit_code = None
        self.lines = out.decode("utf-8", "replace").splitlines()
        self.fields = dict(line.split("=", 1) for line in self.lines if "=" in line)
        self.screens = [line[len("screen="):] for line in self.lines if line.startswith("screen=")]
        self.requests = [row.split("\t")[0] for row in control(args.server, "log").splitlines()]
        downloads = args.download_folder
        self.setup_left = os.path.exists(os.path.join(downloads, release.setup))
        self.setup_ran = os.path.exists(os.path.join(downloads, release.setup + ".record"))
        # The product launched by the installer records itself; give it a moment to start.
        deadline = time.monotonic() + 10
        while self.fields.get("finished", "").startswith("0") and not os.path.exists(record) \
                and time.monotonic() < deadline:
            time.sleep(0.1)
        self.product_launched = os.path.exists(record)
        self.note = self.fields.get("note", "")

    def __str__(self):
        return " | ".join(self.lines + ["requests: " + " ".join(self.requests)])


def expect_installed(run, what):
    check(run.screens and run.screens[-1] == DONE and run.exit_code == 0 and run.product_launched
          and run.setup_ran, what + ": Done, product launched (%s)" % run)


def served_verdict(args, release, trust="locked", *more):
    """What publish-release --verify-served says of the release as served, for the installer
    `trust` names: (exit status, everything it printed)."""
    done = subprocess.run([sys.executable, PUBLISH_RELEASE, "--verify-served",
                           args.server + release.name + "/", "--build", args.builds[trust],
                           *more], capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout + done.stderr


def expect_feed_refused(run, release, what, reasons=(FEED_REASON,), args=None, trust="locked"):
    check(run.screens[-1:] == [FAILED] and run.fields.get("failed") in reasons,
          what + ": Failed with %s (%s)" % (" or ".join(reasons), run))
    feed = "/%s/latest.yml" % release.name
    # The pre-check's request and the run's: nothing else.
    check(run.requests == [feed, feed], what + ": only the feed requested %s" % run.requests)
    check(run.note == "", what + ": no version note (%r)" % run.note)
    check(not run.setup_ran and not run.setup_left, what + ": nothing downloaded or run")
    if args:
        expect_served_reason(args, release, run, what, trust)


def expect_served_reason(args, release, run, what, trust="locked"):
    status, said = served_verdict(args, release, trust)
    check(status == 1 and run.fields.get("failed", "-") in said,
          what + ": --verify-served gives the installer's reason (%s)" % said)


def expect_setup_refused(run, what, args=None, release=None):
    check(run.screens[-2:] == ["2", FAILED] and run.fields.get("failed") == PUBLISHER_REASON,
          what + ": Failed on Verifying with the publisher reason (%s)" % run)
    check(not run.setup_left, what + ": the setup program was deleted")
    check(not run.setup_ran and not run.product_launched, what + ": nothing ran")
    if args:
        expect_served_reason(args, release, run, what)


def attacked_release(args, name, signed_program, key):
    """The attacker controls the server but not the key: the feed's sha512 and path point at
    their own program, whose digest they wrote in after the signing."""
    attacked = Release(args.root, name, signed_program, key)
    evil = "evil-%d.exe" % time.time_ns()
    shutil.copy(args.fake_setup, os.path.join(attacked.folder, evil))
    evil_feed = Release(os.path.join(args.work, "scratch"), "evil", args.fake_setup).feed
    theirs = {line.split(b":")[0]: line for line in evil_feed.splitlines(keepends=True)}
    theirs[b"path"] = b"path: " + evil.encode() + b"\n"
    attacked.feed = b"".join(theirs.get(line.split(b":")[0], line)
                             if line.split(b":")[0] in (b"path", b"sha512", b"size") else line
                             for line in attacked.feed.splitlines(keepends=True))
    attacked.setup = evil
    return attacked


def shipped_case(args, signed_program):
    """The attack against the installer exactly as it ships (but for its test keys), driven and
    read from outside as a user with a screen reader would: Install pressed through the reader,
    the reason read from the window, Escape to close."""
    key = os.path.join(args.keys, "feed-key-a.pem")
    attacked = attacked_release(args, "attacked-shipped", signed_program, key)
    control(args.server, "reset")
    proc = subprocess.Popen(["wine", args.shipped], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL,
                            env=dict(os.environ,
                                     ZEL_BOOTSTRAP_FEED_URL=args.server + attacked.name + "/"))
    try:
        shown = poll("the shipped installer's window",
                     lambda: ("button", "Install") in tree_names(read_tree(args.probe)), 60)
        pressed = subprocess.run(["wine", args.probe, "press", "Install"], capture_output=True,
                                 timeout=60)
        check(shown and pressed.returncode == 0, "shipped installer: Install pressed")
        failed = poll("the shipped installer's failure",
                      lambda: (lambda w: w if ("text", "Something went wrong.") in w else None)(
                          tree_names(read_tree(args.probe))), 60) or []
        check(("text", FEED_REASON) in failed,
              "shipped installer: the feed reason on its window %s" % failed)
        feed = "/%s/latest.yml" % attacked.name
        requests = [row.split("\t")[0] for row in control(args.server, "log").splitlines()]
        check(requests == [feed, feed], "shipped installer: only the feed requested %s" % requests)
        check(not os.path.exists(os.path.join(args.download_folder, attacked.setup)),
              "shipped installer: nothing downloaded")
        window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                 "^Quorvane Setup$"], capture_output=True, text=True).stdout.split()
        if window:
            subprocess.run(["xdotool", "windowfocus", "--sync", window[0]],
                           stderr=subprocess.DEVNULL)
            subprocess.run(["xdotool", "key", "Escape"])
        proc.wait(timeout=30)
        check(proc.returncode == 0, "shipped installer: Escape closes it (%s)" % proc.returncode)
    except subprocess.TimeoutExpired:
        check(False, "shipped installer: it ends")
    finally:
        if proc.poll() is None:
            proc.kill()


def feed_cases(args, signed_program):
    """The feed's lock: every broken signature is refused before anything else is asked for."""
    key = os.path.join(args.keys, "feed-key-a.pem")
    root = args.root

    good = Release(root, "signed-right", signed_program, key)
    run = Run(args, args.locked, good)
    expect_installed(run, "signed feed, setup signed by the publisher")
    check(run.note.startswith("Version 1.0."), "signed feed: version note %r" % run.note)

    attacked = attacked_release(args, "attacked", signed_program, key)
    expect_feed_refused(Run(args, args.locked, attacked), attacked, "sha512 and path replaced", args=args)
    control_run = Run(args, args.open, attacked)
    check(control_run.screens[-1:] == [DONE] and control_run.setup_ran,
          "control, no key: the attacker's program ran (%s)" % control_run)

    unsigned = Release(root, "unsigned", signed_program)
    expect_feed_refused(Run(args, args.locked, unsigned), unsigned, "unsigned feed", args=args)
    stranger = Release(root, "other-key", signed_program, os.path.join(args.pki, "stranger.pem"))
    expect_feed_refused(Run(args, args.locked, stranger), stranger, "feed signed by another key",
                        args=args)
    control_run = Run(args, args.open, stranger)
    check(control_run.screens[-1:] == [DONE] and control_run.note.startswith("Version "),
          "control, no key: feed signed by another key installs, with its note (%s)"
          % control_run)
    cut = Release(root, "cut-short", signed_program, key)
    cut.feed = cut.feed[:-10] + b"\n"
    expect_feed_refused(Run(args, args.locked, cut), cut, "signature line cut short", args=args)

    # The default settings against a signed feed: installs as without the signature line.
    expect_installed(Run(args, args.open, Release(root, "default", signed_program, key)),
                     "no key, no publisher, signed feed")


def expiry_cases(args, signed_program):
    """The signed expiry date, with an installer that requires one: a feed more than a day past it
    is refused before anything else is asked for, and a clock that looks wrong is named."""
    key = os.path.join(args.keys, "feed-key-a.pem")
    fresh = Release(args.root, "fresh", signed_program, key, valid_for=30)
    run = Run(args, args.expiring, fresh)
    expect_installed(run, "required expiry, fresh feed")
    check(run.note.startswith("Version 1.0."), "fresh feed: version note %r" % run.note)
    status, said = served_verdict(args, fresh, "expiring")
    check(status == 0 and "30.0 days left" in said, "fresh feed: --verify-served passes (%s)" % said)

    expired = Release(args.root, "expired", signed_program, key, valid_for=1)
    expired.expire_in(-10 * DAY, key)
    expect_feed_refused(Run(args, args.expiring, expired), expired, "expired ten days ago",
                        (EXPIRED_REASON,), args, "expiring")
    # The server's Date, twenty days back, says the feed is still valid: the clock is named. The
    # run may cross midnight.
    today = time.strftime("%Y-%m-%d")
    run = Run(args, args.expiring, expired, plan="date:-%d,date:-%d" % (20 * DAY, 20 * DAY))
    expect_feed_refused(run, expired, "expired by our clock, valid by the server's",
                        {CLOCK_REASON % today, CLOCK_REASON % time.strftime("%Y-%m-%d")})
    control_run = Run(args, args.open, expired)
    check(control_run.screens[-1:] == [DONE], "control, no key: the expired feed installs (%s)"
          % control_run)
    undated = Release(args.root, "undated", signed_program, key)
    expect_feed_refused(Run(args, args.expiring, undated), undated, "no expiry date",
                        (NO_EXPIRY_REASON,), args, "expiring")
    moved = Release(args.root, "moved", signed_program, key, valid_for=1)
    moved.expire_in(300 * DAY)
    expect_feed_refused(Run(args, args.expiring, moved), moved, "expiry moved after signing",
                        (FEED_REASON,), args, "expiring")

    recent = Release(args.root, "recent", signed_program, key, valid_for=1)
    recent.expire_in(-3600, key)
    expect_installed(Run(args, args.expiring, recent), "expired an hour ago, within the day's slack")


def served_cases(args, signed_program):
    """What only --verify-served sees: line ends a transfer changed, a cut upload, a feed about to
    expire."""
    key = os.path.join(args.keys, "feed-key-a.pem")
    release = Release(args.root, "served", signed_program, key, valid_for=30)
    signed_feed = release.feed
    status, said = served_verdict(args, release, "expiring", "--warn-days", "31")
    check(status == 1 and "(fewer than 31)" in said, "--verify-served, a month left: %s" % said)
    release.feed = signed_feed.replace(b"\n", b"\r\n")
    status, said = served_verdict(args, release, "expiring")
    check(status == 1 and FEED_REASON in said and "changed its line ends" in said,
          "--verify-served, CRLF line ends: %s" % said)
    release.feed = signed_feed
    os.truncate(os.path.join(release.folder, release.setup), 1000)
    status, said = served_verdict(args, release, "expiring")
    check(status == 1 and SHORT_REASON in said, "--verify-served, a cut upload: %s" % said)


def publisher_cases(args, signed_program):
    """The publisher's lock: a feed signed right that names a program not signed by the
    publisher (its digest in the feed made to match) ends on Verifying, and the file is gone."""
    key = os.path.join(args.keys, "feed-key-a.pem")
    other = os.path.join(args.work, "other-signed.exe")
    sign(args.pki, "other", args.fake_setup, other)
    changed = os.path.join(args.work, "changed.exe")
    with open(signed_program, "rb") as f:
        data = bytearray(f.read())
    at = data.index(b"This program cannot be run")  # the DOS stub: hashed, never executed
    data[at] ^= 0x20
    with open(changed, "wb") as f:
        f.write(data)
    cases = [("unsigned setup", args.fake_setup), ("setup signed by another publisher", other),
             ("setup changed after signing", changed)]
    for what, program in cases:
        release = Release(args.root, what.replace(" ", "-"), program, key)
        expect_setup_refused(Run(args, args.locked, release), what, args, release)
    # The served file changed after a release was signed: the SHA-512 fails first, while
    # WinVerifyTrust reads the same file beside it; the file is still deleted.
    mismatch = Release(args.root, "checksum-mismatch", signed_program, key)
    shutil.copy(changed, os.path.join(mismatch.folder, mismatch.setup))
    run = Run(args, args.locked, mismatch)
    check(run.screens[-2:] == ["2", FAILED] and run.fields.get("failed") == CHECKSUM_REASON,
          "served file changed after publishing: the checksum reason (%s)" % run)
    check(not run.setup_left and not run.setup_ran, "checksum mismatch: deleted, nothing ran")
    expect_served_reason(args, mismatch, run, "checksum mismatch")
    control_run = Run(args, args.open, Release(args.root, "other-publisher-open", other, key))
    check(control_run.screens[-1:] == [DONE] and control_run.setup_ran,
          "control, no publisher: the other publisher's program ran (%s)" % control_run)


def planted_case(args, signed_program):
    """wintrust.dll saved beside the installer, and made native-first in Wine as Windows would
    treat it: the installer checks the publisher with the system's copy and never loads the
    planted one; the control program, which imports wintrust, loads it."""
    downloads = os.path.join(args.work, "downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)
    shutil.copy(args.planted, downloads)
    installer = shutil.copy(args.locked, downloads)
    control_exe = shutil.copy(args.control, downloads)
    log = os.path.join(downloads, "loaded.log")
    os.environ.update(WINEDLLOVERRIDES="mscoree,mshtml=;wintrust=n,b",
                      QV_PLANTED_LOG="Z:" + log.replace("/", "\\"))
    try:
        key = os.path.join(args.keys, "feed-key-a.pem")
        run = Run(args, installer, Release(args.root, "planted", signed_program, key))
        expect_installed(run, "wintrust planted beside the installer")
        check(not os.path.exists(log), "the installer loaded no planted DLL")
        subprocess.run(["wine", control_exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        with open(log, "rb") if os.path.exists(log) else open(os.devnull, "rb") as f:
            loaded = f.read().decode("utf-16-le").lower()
        check("wintrust.dll" in loaded, "the control program loaded the planted wintrust")
    finally:
        del os.environ["WINEDLLOVERRIDES"], os.environ["QV_PLANTED_LOG"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--locked", required=True)
    parser.add_argument("--open", required=True)
    parser.add_argument("--expiring", required=True)
    parser.add_argument("--fake-setup", required=True)
    parser.add_argument("--keys", required=True)
    parser.add_argument("--publisher", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--planted", required=True, help="a stand-in wintrust.dll")
    parser.add_argument("--control", required=True, help="a program that imports wintrust")
    parser.add_argument("--shipped", required=True,
                        help="the installer as it ships, built with the test keys and publisher")
    parser.add_argument("--probe", required=True, help="reads a window as a screen reader does")
    args = parser.parse_args()
    args.server = os.environ["QV_TEST_SERVER"]
    args.root = os.environ["QV_TEST_ROOT"]
    args.pki = os.path.join(args.work, "pki")
    os.makedirs(os.path.join(args.work, "scratch"), exist_ok=True)
    # The download folder, and the window's default install folder, which every run shares
    # (emptied before each).
    folders = prefix_folders()
    if not folders:
        return 1
    args.download_folder, args.install_folder = folders

    make_pki(args.pki, args.publisher)
    signed_program = os.path.join(args.work, "publisher-signed.exe")
    sign(args.pki, "publisher", args.fake_setup, signed_program)
    # What each locked program trusts, as a build folder tells the release tool.
    args.builds = {}
    for trust, required in (("locked", "OFF"), ("expiring", "ON")):
        args.builds[trust] = os.path.join(args.work, trust + "-build")
        os.makedirs(args.builds[trust], exist_ok=True)
        with open(os.path.join(args.builds[trust], "CMakeCache.txt"), "w", encoding="utf-8") as f:
            f.write("QUORVANE_FEED_PUBLIC_KEYS:STRING=%s\nQUORVANE_SETUP_PUBLISHER:STRING=%s\n"
                    "QUORVANE_FEED_REQUIRE_EXPIRY:BOOL=%s\n"
                    % (";".join(os.path.join(args.keys, "feed-key-%s.pem.pub" % k) for k in "ab"),
                       args.publisher, required))
    feed_cases(args, signed_program)
    expiry_cases(args, signed_program)
    served_cases(args, signed_program)
    publisher_cases(args, signed_program)
    planted_case(args, signed_program)
    shipped_case(args, signed_program)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
