#!/usr/bin/env python3
"""Runs an installer against a release and says whether it launched the product: the last line
is "launched: PATH" (exit 0) or "not launched: REASON" (exit 1), REASON being what the window
showed. make run and make try run it inside tools/wine-env.sh (WINEPREFIX and DISPLAY set):

  drive_installer.py --probe access_probe.exe [--exe INSTALLER --feed URL] [--click]
                     [--shots DIR [--product-window TITLE]]

It follows the window's screens as a screen reader reads them (access_probe watch). With --exe it
starts that installer with ZEL_BOOTSTRAP_FEED_URL=URL, else it follows one that something else
started. With --click it clicks Install once the version note is shown (or after 30 s without
one) and stops at a failure; without it a user clicks, and it waits until the window is gone.
With --shots it keeps a screenshot of the window on each screen it passes, numbered in the order
passed (1-choose-location.png, 2-downloading.png, ...-verifying.png, ...-installing.png,
...-done.png or ...-failed.png), and with --product-window one of the whole display once a
window of that title (the launched product's) shows, ...-product-running.png.
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import threading
import time

# The tests' bounded wait, so that both wait alike.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "support"))
from e2e_checks import wait_until  # noqa: E402

TITLE = "^Quorvane Setup$"
FIELD = ("editable", "Install location")
# The headlines of the screens a run ends on (src/install/install_worker_win.cpp).
FAILED = "Something went wrong."
LAUNCHING = "You're all set."
NOTHING_TO_LAUNCH = "Quorvane is installed."
# How long a run may take without a user: the largest setup programs take minutes under Wine.
RUN_TIMEOUT = 1200
# Done stays up 2.8 s before the launch, and the launch waits out a held file for up to 30 s.
DONE_TIMEOUT = 45


class Watch:
    """The window's children, [(role, name, value)], as the probe reports each change."""

    def __init__(self, probe):
        self.proc = subprocess.Popen(["wine", probe, "watch"], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.tree, self.gone, self.lock = None, False, threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            fields = raw.decode("utf-8", "replace").rstrip("\r\n").split("\t")
            if fields[0] == "tree":
                with self.lock:
                    self.tree = [tuple(fields[i:i + 3]) for i in range(1, len(fields) - 2, 3)]
        with self.lock:
            self.gone = True

    def latest(self):
        """(the latest tree or None, whether the window is gone)."""
        with self.lock:
            return self.tree, self.gone


def texts(tree):
    """The painted texts in reading order: the title, then the headline and the detail (or the
    hint and the version note on the first screen)."""
    return [name for role, name, _ in tree if role == "text"] + ["", "", ""]


def screen_of(tree):
    if any((role, name) == FIELD for role, name, _ in tree):
        return "choose-location"
    headline = texts(tree)[1]
    if headline == FAILED:
        return "failed"
    if headline in (LAUNCHING, NOTHING_TO_LAUNCH):
        return "done"
    if headline.startswith("Installing"):
        return "installing"
    if headline.startswith("Verifying"):
        return "verifying"
    return "downloading"


def shown_enough(screen, tree):
    """Whether a screenshot of this tree shows its screen as a user would want it: the first
    screen with its version note, the download a third of the way, with its speed and time left."""
    if screen == "choose-location":
        return texts(tree)[2].startswith("Version")
    if screen == "downloading":
        value = next((value for role, _, value in tree if role == "progressbar"), "")
        return value.endswith("%") and value[:-1].isdigit() and int(value[:-1]) >= 33
    return True


def windows(title):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                          capture_output=True, text=True).stdout.split()


class Shots:
    """Screenshots kept in a folder, numbered in the order their screens were passed. A screen's
    picture is taken again until it shows enough, and kept once it does or the screen is left."""

    def __init__(self, folder, window):
        self.folder, self.window, self.kept, self.pending = folder, window, [], {}
        os.makedirs(folder, exist_ok=True)
        for old in os.listdir(folder):
            if old.endswith(".png"):
                os.remove(os.path.join(folder, old))

    def take(self, png, whole=False):
        x, y, width, height = self.window
        crop = [] if whole else ["-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage"]
        subprocess.run(["import", "-silent", "-window", "root", *crop, png], check=True)

    def keep(self, screen, png):
        name = "%d-%s.png" % (len(self.kept) + 1, screen)
        os.replace(png, os.path.join(self.folder, name))
        self.kept.append(name)
        print("screenshot:", os.path.join(self.folder, name), flush=True)

    def see(self, screen, tree, still):
        """Takes `screen`'s picture unless it was kept; `still()` tells whether the window still
        shows that screen once the picture is taken."""
        for other in [s for s in self.pending if s != screen]:
            self.keep(other, self.pending.pop(other))
        if screen in self.pending or not any(name.endswith("-%s.png" % screen)
                                             for name in self.kept):
            taken, png = (os.path.join(self.folder, ".%s%s.png" % (screen, suffix))
                          for suffix in ("-new", ""))
            self.take(taken)
            if not still():
                os.remove(taken)  # the window had moved on: not a picture of this screen
                return
            os.replace(taken, png)
            if shown_enough(screen, tree):
                self.pending.pop(screen, None)
                self.keep(screen, png)
            else:
                self.pending[screen] = png

    def finish(self):
        for screen in list(self.pending):
            self.keep(screen, self.pending.pop(screen))


def follow(args, watch, shots, window):
    """Follows the run to its end: (the last tree seen or None, the folder it installs into, the
    screen it stopped on if the window is still there)."""
    clicked, started, folder, last, done_since = not args.click, time.monotonic(), "", None, None
    while True:
        tree, gone = watch.latest()
        if gone:
            return last, folder, None
        if tree is None:
            time.sleep(0.1)
            continue
        last, screen = tree, screen_of(tree)
        if screen == "choose-location":
            folder = next(value for role, name, value in tree if (role, name) == FIELD).strip()
        if shots:
            shots.see(screen, tree, lambda: screen_of(watch.latest()[0] or tree) == screen)
        if not clicked and screen == "choose-location" and (
                shown_enough(screen, tree) or time.monotonic() - started > 30):
            x, y, width, _ = window
            scale = width / 520  # the window is 520 design pixels wide at its DPI
            subprocess.run(["xdotool", "mousemove", "--sync", str(x + int(414 * scale)),
                            str(y + int(227 * scale)), "click", "1"], check=True)  # Install
            print("clicked Install", flush=True)
            clicked = True
        if args.click:
            done_since = (done_since or time.monotonic()) if screen == "done" else None
            nothing_to_launch = screen == "done" and texts(tree)[1] == NOTHING_TO_LAUNCH
            if screen == "failed" or nothing_to_launch or time.monotonic() - started > RUN_TIMEOUT \
                    or (done_since and time.monotonic() - done_since > DONE_TIMEOUT):
                return last, folder, screen
        time.sleep(0.1)


def product_running():
    """Whether a Quorvane.exe runs in this prefix (Wine names a process by its Windows path)."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                name = f.read().split(b"\0")[0].decode("utf-8", "replace")
            with open("/proc/%s/environ" % pid, "rb") as f:
                ours = ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode() in f.read().split(b"\0")
        except OSError:
            continue
        if ours and name.lower().endswith("\\quorvane.exe"):
            return True
    return False


def verdict(last, folder, stopped_on, user_closes):
    """(launched, what to say after "launched: " or "not launched: ")."""
    if last is None:
        return False, "the installer's window did not open"
    screen, (_, headline, detail) = screen_of(last), texts(last)[:3]
    if screen == "failed":
        return False, detail
    if screen == "done" and stopped_on is None and headline == LAUNCHING:
        # The window closes itself only once the product started, but a user can close it first.
        if user_closes and not wait_until(product_running, 5):
            return False, "the window was closed on the done screen before Quorvane was started"
        return True, product_path(folder)
    if screen == "done" and headline == NOTHING_TO_LAUNCH:
        return False, ("%s %s (the setup program ended with exit code 0 but left no "
                       "Quorvane.exe in %s, the folder it was given after /D=)"
                       % (headline, detail, folder))
    if stopped_on:
        return False, "still on the %s screen: %s" % (screen, " ".join(filter(None, [headline,
                                                                               detail])))
    return False, "the window was closed on the %s screen" % screen


def product_path(folder):
    """The product's file as the installer found it in `folder`, as a path here."""
    path = folder + ("" if folder.endswith(("\\", "/", ":")) else "\\") + "Quorvane.exe"
    unix = subprocess.run(["winepath", "-u", path], capture_output=True, text=True)
    found = unix.stdout.strip()
    return os.path.realpath(found) if unix.returncode == 0 and found else path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True, help="access_probe.exe")
    parser.add_argument("--exe", help="start this installer (else follow the one shown)")
    parser.add_argument("--feed", help="the release's URL, for ZEL_BOOTSTRAP_FEED_URL")
    parser.add_argument("--click", action="store_true", help="click Install; stop at a failure")
    parser.add_argument("--shots", help="keep a screenshot of every screen here")
    parser.add_argument("--product-window", help="the launched product's window title")
    parser.add_argument("--timeout", type=float, default=60,
                        help="seconds to wait for the installer's window")
    args = parser.parse_args()
    installer = None
    if args.exe:
        # What an earlier run installed in the prefix's default folder would be found there and
        # launched, as if this release had installed it.
        for old in glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*",
                                          "AppData", "Local", "Programs", "Quorvane")):
            shutil.rmtree(old)
        installer = subprocess.Popen(["wine", args.exe], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                                     env=dict(os.environ, ZEL_BOOTSTRAP_FEED_URL=args.feed))
    watch = Watch(args.probe)
    window, shots = None, None
    if args.click or args.shots:
        found = wait_until(lambda: windows(TITLE), args.timeout)
        if not found:
            print("not launched: the installer's window did not open within %d s" % args.timeout)
            return 1
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", found[0]], check=True,
                             capture_output=True, text=True).stdout
        g = dict(line.split("=", 1) for line in out.split())
        window = (int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"]))
        if args.shots:
            shots = Shots(args.shots, window)
    last, folder, stopped_on = follow(args, watch, shots, window)
    launched, said = verdict(last, folder, stopped_on, not args.click)
    if shots:
        shots.finish()
        if launched and args.product_window and wait_until(lambda: windows(args.product_window),
                                                         30):
            png = os.path.join(args.shots, ".product.png")
            shots.take(png, whole=True)
            shots.keep("product-running", png)
    if installer and stopped_on is None:
        try:
            code = installer.wait(timeout=30)
            if code != 0:
                launched, said = False, "%s (the installer exited with code %d)" % (said, code)
        except subprocess.TimeoutExpired:
            pass
    print(("launched: " if launched else "not launched: ") + said, flush=True)
    return 0 if launched else 1


if __name__ == "__main__":
    sys.exit(main())
