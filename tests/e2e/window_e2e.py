#!/usr/bin/env python3
"""End-to-end tests of the real installer window under Wine and Xvfb.

Run inside tools/wine-env.sh (WINEPREFIX and DISPLAY set) and tests/support/with_server.py
(QV_TEST_SERVER and QV_TEST_ROOT set):

  window_e2e.py --exe QuorvaneInstaller.exe --fake-setup fake_setup.exe --shots DIR [--dpi 96,144]
                [--planted DIR --control planted_control.exe]

Each run serves a feed and the stand-in setup program under its own folder of the release server,
starts the installer with ZEL_BOOTSTRAP_FEED_URL pointing there, finds the window with xdotool,
clicks it, and checks a few exact pixels of root-window screenshots (kept in --shots). Every wait
polls with a bounded timeout.
"""

import argparse
import base64
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

TEXT = (233, 238, 248)
MUTED = (156, 173, 204)
ACCENT = (99, 102, 241)
ACTION_FACE = (94, 97, 241)  # the action button: a shade darker, for its label's contrast
CARD_TINT = (106, 120, 166)
CARD_BORDER = (83, 97, 140)
ERROR = (255, 159, 159)
LINK = (143, 214, 255)
TRACK = (30, 40, 70)
MARQUEE = (83, 227, 242)
WHITE = (255, 255, 255)

TITLE = "^Quorvane Setup$"
PUBLISH_RELEASE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                               "publish-release")
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


class Shot:
    """A screenshot of the root window, read from a binary PPM."""

    def __init__(self, path):
        subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:" + path], check=True)
        with open(path, "rb") as f:
            data = f.read()
        fields, at = [], 0
        while len(fields) < 4:  # magic, width, height, maximum
            while data[at:at + 1].isspace():
                at += 1
            end = at
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[at:end])
            at = end
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[at + 1:]
        self.path = path

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, left, top, right, bottom, colour):
        return sum(1 for y in range(top, bottom) for x in range(left, right)
                   if self.at(x, y) == colour)

    def save_png(self, png):
        subprocess.run(["convert", self.path, png], check=True)


def near(a, b, tolerance):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class Window:
    """The installer's window at a DPI: design coordinates to screen pixels."""

    def __init__(self, wid, dpi):
        self.wid = wid
        self.dpi = dpi
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], check=True,
                             capture_output=True, text=True).stdout
        geometry = dict(line.split("=", 1) for line in out.split())
        self.x, self.y = int(geometry["X"]), int(geometry["Y"])
        self.width, self.height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])

    def s(self, v):
        return int(v * self.dpi / 96)

    def pos(self, *terms_x, y_terms=()):
        return self.x + sum(self.s(t) for t in terms_x), self.y + sum(self.s(t) for t in y_terms)

    def px(self, shot, x, y):
        """Pixel at design point (x, y), each coordinate scaled on its own."""
        return shot.at(self.x + self.s(x), self.y + self.s(y))

    def click(self, x, y):
        subprocess.run(["xdotool", "mousemove", "--sync", str(self.x + self.s(x)),
                        str(self.y + self.s(y)), "click", "1"], check=True)


def search_windows():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                         capture_output=True, text=True).stdout
    return out.split()


def poll(what, condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    check(False, "timed out waiting for " + what)
    return None


def control(server, verb, **query):
    url = server + "_control/" + verb + "?" + urllib.parse.urlencode(query)
    return urllib.request.urlopen(url, timeout=10).read().decode()


# A setup name of its own per run: the installer keeps a finished download in its temporary
# folder, which a later run with the same name would find complete.
SETUP = "QuorvaneSetup-%d.exe" % time.time_ns()


# The served setup program is the stand-in padded to this size (a program runs with data appended
# to it), so that the body can be held at a whole number of the client's 256 KiB reads: Wine's
# WinHTTP fills a read's whole buffer before it returns.
SERVED_SIZE = 8 * 1048576
HOLD_AT = 4 * 1048576


def serve_release(root, folder, setup, good_checksum=True):
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    target = os.path.join(root, folder, SETUP)
    with open(setup, "rb") as f:
        data = f.read()
    data += bytes(SERVED_SIZE - len(data))
    with open(target, "wb") as f:
        f.write(data)
    # The feed as a product team publishes it; a wrong checksum is put in by hand.
    subprocess.run([sys.executable, PUBLISH_RELEASE, target, "4.5.6"], check=True,
                   stdout=subprocess.DEVNULL)
    if not good_checksum:
        feed = os.path.join(root, folder, "latest.yml")
        with open(feed) as f:
            lines = f.read().splitlines(keepends=True)
        with open(feed, "w") as f:
            f.writelines("sha512: %s\n" % base64.b64encode(bytes(64)).decode()
                         if line.startswith("sha512:") else line for line in lines)
    return len(data)


def set_dpi(dpi):
    subprocess.run(["wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels",
                    "/t", "REG_DWORD", "/d", str(dpi), "/f"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def start_installer(exe, feed_url, extra_env=None):
    env = dict(os.environ, ZEL_BOOTSTRAP_FEED_URL=feed_url, **(extra_env or {}))
    return subprocess.Popen(["wine", exe], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def open_window(dpi, before=()):
    found = poll("the installer window", lambda: [w for w in search_windows() if w not in before],
                 60)
    if not found:
        return None
    window = Window(found[0], dpi)
    # Painted once the accent rule is there.
    poll("the first paint", lambda: window.px(Shot(shots.tmp), 200, 111) == ACCENT, 30)
    return window


def fill_edge(shot, window, y):
    """First screen x right of the track's left end that is no longer the accent fill."""
    x = window.x + window.s(50)
    end = x + window.s(420)
    while x < end and shot.at(x, window.y + y) == ACCENT:
        x += 1
    return x - window.x


def success_run(args, server, root, dpi):
    s = lambda v: int(v * dpi / 96)
    folder = "e2e-ok-%d" % dpi
    size = serve_release(root, folder, args.fake_setup)
    permille = min(999, HOLD_AT * 1000 // size)
    control(server, "plan", path="/%s/%s" % (folder, SETUP),
            actions="stallbody:%d:20000" % HOLD_AT)
    before = search_windows()
    proc = start_installer(args.exe, server + folder + "/",
                           {"QV_FAKE_SETUP_PRODUCT": "1", "QV_FAKE_SETUP_SLEEP_MS": "4000"})
    w = open_window(dpi, before)
    if not w:
        proc.kill()
        return
    tag = "%d dpi: " % dpi
    check((w.width, w.height) == (s(520), s(380)), tag + "window is %dx%d" % (w.width, w.height))
    check((w.x, w.y) == ((1920 - s(520)) // 2, (1080 - s(380)) // 2),
          tag + "window centred at %d,%d" % (w.x, w.y))

    # The version note comes from the pre-check.
    poll("the version note", lambda: Shot(shots.tmp).count(
        w.x + s(50), w.y + s(326), w.x + s(300), w.y + s(326) + s(16), MUTED) > 5, 30)
    shot = Shot(shots.tmp)
    shot.save_png(os.path.join(args.shots, "choose-%d.png" % dpi))
    check(w.px(shot, 150, 110) == ACCENT and w.px(shot, 345, 112) == ACCENT,
          tag + "accent rule corners")
    check(shot.at(w.x + s(150) + s(196), w.y + s(111)) != ACCENT, tag + "accent rule right end")
    mid = w.y + s(263)
    check(shot.at(w.x + s(28), mid) == CARD_BORDER, tag + "card outline left")
    check(shot.at(w.x + s(492) - 1, mid) == CARD_BORDER, tag + "card outline right")
    outside, inside = shot.at(w.x + s(28) - 2, mid), shot.at(w.x + s(28) + 3, mid)
    expected = tuple((c * 42 + o * 213) // 255 for c, o in zip(CARD_TINT, outside))
    check(near(inside, expected, 6), tag + "card tint %s ~ %s" % (inside, expected))
    check(shot.count(w.x + s(148), w.y + s(72), w.x + s(340), w.y + s(105), TEXT) > 30,
          tag + "title drawn at 148,72")
    check(shot.count(w.x, w.y, w.x + s(140), w.y + s(60), TEXT) == 0,
          tag + "nothing of the title left of it")
    # The edit field: a white face inside its border, exactly at its design rectangle.
    ex, ey, ew, eh = s(50), s(212), s(252), s(30)
    check(shot.at(w.x + ex + ew - 3, w.y + ey + eh - 3) == WHITE, tag + "edit field face")
    check(shot.at(w.x + ex + ew + 1, w.y + ey + eh - 3) != WHITE, tag + "edit field right end")
    check(shot.at(w.x + ex + ew - 3, w.y + ey + eh + 1) != WHITE, tag + "edit field bottom end")
    check(w.px(shot, 360, 212) == ACTION_FACE, tag + "Install button face")
    check(shot.count(w.x + s(484), w.y + s(8), w.x + s(512), w.y + s(36), MUTED) > 0,
          tag + "close glyph drawn")

    if dpi == 96:
        second_instance(args, server, folder, w)

    w.click(358 + 56, 210 + 17)
    # The server holds the body at half its length: the fill stops exactly there.
    want = s(50) + s(420) * permille // 1000
    poll("the held download", lambda: fill_edge(Shot(shots.tmp), w, s(319)) == want, 30)
    shot = Shot(shots.tmp)
    shot.save_png(os.path.join(args.shots, "downloading-%d.png" % dpi))
    check(fill_edge(shot, w, s(319)) == want,
          tag + "progress fill ends at %d (want %d)" % (fill_edge(shot, w, s(319)), want))
    check(shot.at(w.x + want + 2, w.y + s(319)) == TRACK, tag + "track after the fill")
    check(shot.count(w.x + s(50), w.y + s(192), w.x + s(300), w.y + s(210), TEXT) > 10,
          tag + "status line")

    track = (w.x + s(50), w.y + s(314), w.x + s(470), w.y + s(324))
    poll("the installing screen", lambda: Shot(shots.tmp).count(*track, MARQUEE) > 0, 40)
    shot = Shot(shots.tmp)
    shot.save_png(os.path.join(args.shots, "installing-%d.png" % dpi))
    check(shot.count(*track, MARQUEE) > 0, tag + "moving segment")
    check(shot.count(w.x + s(484), w.y + s(8), w.x + s(512), w.y + s(36), MUTED) == 0,
          tag + "no close glyph while installing")

    poll("the done screen", lambda: w.px(Shot(shots.tmp), 55, 285) == ACTION_FACE, 30)
    shot = Shot(shots.tmp)
    shot.save_png(os.path.join(args.shots, "done-%d.png" % dpi))
    check(w.px(shot, 232, 316) == ACTION_FACE, tag + "Launch button reaches 234,318")
    check(shot.count(*track, TRACK) == 0, tag + "no progress bar when done")
    try:
        rc = proc.wait(timeout=30)  # the automatic launch ends the installer
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = None
    check(rc == 0, tag + "installer exits 0 after the automatic launch (%s)" % rc)


def second_instance(args, server, folder, first):
    before = search_windows()
    second = start_installer(args.exe, server + folder + "/")
    box = poll("the already-running message",
               lambda: [x for x in search_windows() if x not in before], 30)
    if box:
        shot = Shot(shots.tmp)
        shot.save_png(os.path.join(args.shots, "second-instance.png"))
        subprocess.run(["xdotool", "windowactivate", "--sync", box[0]], check=False)
        subprocess.run(["xdotool", "key", "--window", box[0], "Return"], check=False)
    try:
        rc = second.wait(timeout=30)
    except subprocess.TimeoutExpired:
        second.kill()
        rc = None
    check(rc == 0, "second copy ends with 0 (%s)" % rc)
    check(first.wid in search_windows(), "first copy still runs")


def failed_run(args, server, root, dpi):
    s = lambda v: int(v * dpi / 96)
    folder = "e2e-bad-%d" % dpi
    serve_release(root, folder, args.fake_setup, good_checksum=False)
    before = search_windows()
    proc = start_installer(args.exe, server + folder + "/")
    w = open_window(dpi, before)
    if not w:
        proc.kill()
        return
    tag = "%d dpi failed: " % dpi
    w.click(358 + 56, 210 + 17)
    poll("the failed screen", lambda: w.px(Shot(shots.tmp), 55, 290) == ACTION_FACE, 40)
    shot = Shot(shots.tmp)
    shot.save_png(os.path.join(args.shots, "failed-%d.png" % dpi))
    status = (w.x + s(50), w.y + s(192), w.x + s(300), w.y + s(210))
    check(shot.count(*status, ERROR) > 10, tag + "status in the error colour")
    check(shot.count(*status, TEXT) == 0, tag + "no ordinary status colour")
    check(shot.count(w.x + s(50), w.y + s(330), w.x + s(300), w.y + s(346), LINK) > 5,
          tag + "link shown")
    check(w.px(shot, 198, 316) == ACTION_FACE, tag + "Try Again button reaches 200,318")
    w.click(498, 22)  # the close box
    try:
        rc = proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = None
    check(rc == 0, tag + "closing from the failed screen exits 0 (%s)" % rc)


def exit_code(proc, timeout):
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        return None


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def planted_runs(args, server, root):
    """A whole install with a DLL planted beside the installer for every DLL it loads itself.

    The installer and the planted copies lie in one folder, as in a downloads folder, and Wine is
    told to prefer a DLL beside the program to its own (as Windows does for any DLL that is not
    always mapped from the system folder). Each planted copy records its loading in a log. The
    installer must load none of them; the control program, which imports them, must load all."""
    planted = sorted(f for f in os.listdir(args.planted) if f.lower().endswith(".dll"))
    names = [os.path.splitext(f)[0] for f in planted]
    check(names == ["bcrypt", "msimg32", "winhttp"], "planted DLLs %s" % names)
    with tempfile.TemporaryDirectory(prefix="qv-downloads-") as downloads:
        planted_in(args, server, root, downloads, planted, names)


def planted_in(args, server, root, downloads, planted, names):
    for f in planted:
        shutil.copy(os.path.join(args.planted, f), downloads)
    installer = shutil.copy(args.exe, downloads)
    control_exe = shutil.copy(args.control, downloads)
    log = os.path.join(downloads, "loaded.log")
    env = {"WINEDLLOVERRIDES": "mscoree,mshtml=;%s=n,b" % ",".join(names),
           "QV_PLANTED_LOG": windows_path(log)}

    def loaded():
        if not os.path.exists(log):
            return []
        with open(log, "rb") as f:
            lines = f.read().decode("utf-16-le").split("\n")
        return sorted(os.path.basename(x.replace("\\", "/")).lower() for x in lines if x)

    folder = "e2e-planted"
    serve_release(root, folder, args.fake_setup)
    before = search_windows()
    proc = start_installer(installer, server + folder + "/", dict(env, QV_FAKE_SETUP_PRODUCT="1"))
    w = open_window(96, before)
    if w:
        w.click(358 + 56, 210 + 17)
        poll("the done screen beside planted DLLs",
             lambda: w.px(Shot(shots.tmp), 55, 285) == ACTION_FACE, 60)
    # Only a finished install launches the product and so ends the installer by itself.
    rc = exit_code(proc, 30)
    check(rc == 0, "installer beside planted DLLs installs and exits 0 (%s)" % rc)
    check(loaded() == [], "installer loaded no planted DLL %s" % loaded())

    if os.path.exists(log):
        os.remove(log)
    control = subprocess.Popen(["wine", control_exe], env=dict(os.environ, **env),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rc = exit_code(control, 30)
    check(loaded() == planted, "control program loaded every planted DLL %s (%s)" % (loaded(), rc))


def close_during_precheck(args, server, root):
    """Closing the window while the feed pre-check waits on the server ends the process at once."""
    folder = "e2e-stalled-feed"
    serve_release(root, folder, args.fake_setup)
    feed = "/%s/latest.yml" % folder
    # Far longer than the wait below: an installer that waited for the feed would miss it.
    control(server, "plan", path=feed, actions="stall:120000")
    before = search_windows()
    proc = start_installer(args.exe, server + folder + "/")
    w = open_window(96, before)
    if not w:
        proc.kill()
        return
    poll("the pre-check's feed request", lambda: control(server, "log", path=feed), 30)
    w.click(498, 22)  # the close box
    rc = exit_code(proc, 30)
    check(rc == 0, "closing while the pre-check waits ends the process with 0 (%s)" % rc)


class Shots:
    tmp = None


shots = Shots()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--fake-setup", required=True)
    parser.add_argument("--shots", required=True)
    parser.add_argument("--dpi", default="96,144")
    parser.add_argument("--planted", help="folder of planted DLLs (with --control)")
    parser.add_argument("--control", help="program that imports the planted DLLs")
    args = parser.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    shots.tmp = os.path.join(args.shots, "current.ppm")
    server = os.environ["QV_TEST_SERVER"]
    root = os.environ["QV_TEST_ROOT"]
    try:
        for dpi in [int(d) for d in args.dpi.split(",")]:
            set_dpi(dpi)
            success_run(args, server, root, dpi)
            failed_run(args, server, root, dpi)
        set_dpi(96)
        close_during_precheck(args, server, root)
        if args.planted:
            planted_runs(args, server, root)
    finally:
        set_dpi(96)
        if os.path.exists(shots.tmp):
            os.remove(shots.tmp)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
