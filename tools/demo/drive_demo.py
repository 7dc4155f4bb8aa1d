#!/usr/bin/env python3
"""Drives the demo install on a display nobody watches: starts the installer, clicks Install,
keeps a screenshot of every screen it passes and waits for the product's launch. Run by
tools/run-demo.sh inside tools/wine-env.sh (WINEPREFIX and DISPLAY set).

Without --exe it drives an installer that something else started (make run on a desktop);
without --shots it keeps no screenshots and only clicks Install and waits for the launch, for a
release that downloads too fast for its screens to be caught.

The screenshots, each of the installer's window (the last one of the whole display):
  1-choose-location.png   the folder field, with the version note from the feed
  2-downloading.png       the download under way: a partly filled bar, speed and time left
  3-installing.png        the setup program running: the moving bar, no close glyph
  4-done.png              "Launch Quorvane", before the automatic launch
  5-product-running.png   the installed product's window
Each screen is recognised by a few pixels of the window, as it is drawn at its DPI.
"""

import argparse
import glob
import os
import subprocess
import sys
import tempfile
import time

# The end-to-end test's screenshot reader, so both read pixels the same way.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "e2e"))
from window_e2e import Shot  # noqa: E402

TITLE = "^Quorvane Setup$"
ACCENT = (99, 102, 241)
ACTION_FACE = (94, 97, 241)
MARQUEE = (83, 227, 242)
MUTED = (156, 173, 204)


def wait(what, condition, timeout, step=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    sys.exit("timed out waiting for " + what)


def windows(title):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                          capture_output=True, text=True).stdout.split()


class Screen(Shot):
    """One screenshot of the display, as the end-to-end test reads them, kept as PNG files."""

    def count(self, box, colour):
        return super().count(*box, colour)

    def save(self, png, crop=None):
        command = ["convert", self.path]
        if crop:
            command += ["-crop", "%dx%d+%d+%d" % crop, "+repage"]
        subprocess.run(command + [png], check=True)
        print("screenshot:", png)


class Window:
    """The installer's window at its DPI: design pixels to display pixels."""

    def __init__(self, wid):
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], check=True,
                             capture_output=True, text=True).stdout
        g = dict(line.split("=", 1) for line in out.split())
        self.x, self.y = int(g["X"]), int(g["Y"])
        self.width, self.height = int(g["WIDTH"]), int(g["HEIGHT"])
        self.dpi = self.width * 96 // 520

    def s(self, v):
        return v * self.dpi // 96

    def point(self, x, y):
        return self.x + self.s(x), self.y + self.s(y)

    def box(self, left, top, right, bottom):
        return self.point(left, top) + self.point(right, bottom)

    def rect(self):
        return self.width, self.height, self.x, self.y


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", help="start this installer (else drive the one shown)")
    parser.add_argument("--feed")
    parser.add_argument("--shots", help="keep a screenshot of every screen here")
    parser.add_argument("--timeout", type=float, default=60,
                        help="seconds to wait for the installer's window")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        if args.shots:
            os.makedirs(args.shots, exist_ok=True)
        return drive(args, os.path.join(args.shots or scratch, "current.ppm"))


def drive(args, tmp):
    product_glob = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*", "AppData",
                                "Local", "Programs", "Quorvane")
    for old in glob.glob(os.path.join(product_glob, "*")):
        os.remove(old)

    installer = None
    if args.exe:
        installer = subprocess.Popen(["wine", args.exe], env=dict(os.environ,
                                     ZEL_BOOTSTRAP_FEED_URL=args.feed),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    w = Window(wait("the installer window", lambda: windows(TITLE), args.timeout)[0])
    print("installer window at %d,%d (%d DPI)" % (w.x, w.y, w.dpi))

    def shot_when(what, test, timeout=60):
        """The first screenshot that passes the test, polled every 0.1 s."""
        return wait(what, lambda: (lambda screen: screen if test(screen) else None)(Screen(tmp)),
                    timeout, 0.1)

    def keep(screen, name, crop=None):
        if args.shots:
            screen.save(os.path.join(args.shots, name), crop)

    # The version note under the field comes from the feed's pre-check.
    keep(shot_when("the version note", lambda s: s.count(w.box(50, 326, 300, 340), MUTED) > 5),
         "1-choose-location.png", w.rect())

    x, y = w.point(358 + 112 // 2, 210 + 34 // 2)  # the Install button's centre
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True)
    print("clicked Install")

    if args.shots:
        screens(w, shot_when, keep)
    if installer:
        code = installer.wait(timeout=300)
    else:
        wait("the installer's end", lambda: not windows(TITLE), 300)
        code = 0
    print("installer exited with code", code)
    launched = wait("the product's launch",
                    lambda: glob.glob(os.path.join(product_glob, "launched.txt")), 60)
    folder = os.path.dirname(launched[0])
    wait("the product's window", lambda: windows("^Quorvane$"), 30)
    keep(Screen(tmp), "5-product-running.png")
    os.remove(tmp)
    print("installed:", os.path.join(folder, "Quorvane.exe"))
    print("the product was launched by the installer: the demo install worked")
    return 0 if code == 0 else 1


def screens(w, shot_when, keep):
    """The screens between the click and the end, each kept as it is first seen."""
    track = w.box(50, 314, 470, 324)
    close_box = w.box(484, 8, 512, 36)
    # A real bar once data arrives: the accent fill across part of the track's middle row, taken
    # past a third of the way, when the speed and the time left are shown too.
    middle = (track[0], track[1] + w.s(5), track[2], track[1] + w.s(5) + 1)
    full = track[2] - track[0] - w.s(10)
    keep(shot_when("the download's progress",
                   lambda s: full // 3 < s.count(middle, ACCENT) < full),
         "2-downloading.png", w.rect())

    # Installing: the moving segment, and no close glyph while the setup program runs.
    keep(shot_when("the installing screen",
                   lambda s: s.count(track, MARQUEE) > 0 and s.count(close_box, MUTED) == 0),
         "3-installing.png", w.rect())

    # Done: the "Launch Quorvane" button, shown until the automatic launch 2.8 s later.
    keep(shot_when("the done screen", lambda s: s.at(*w.point(55, 285)) == ACTION_FACE and
                   s.at(*w.point(232, 316)) == ACTION_FACE), "4-done.png", w.rect())


if __name__ == "__main__":
    sys.exit(main())
