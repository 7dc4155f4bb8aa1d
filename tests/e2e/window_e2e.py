#!/usr/bin/env python3
"""End-to-end tests of the real installer window under Wine and Xvfb.

Run inside tools/wine-env.sh (WINEPREFIX and DISPLAY set) and tests/support/with_server.py
(QV_TEST_SERVER and QV_TEST_ROOT set):

  window_e2e.py --exe QuorvaneInstaller.exe --fake-setup fake_setup.exe --shots DIR [--dpi 96,144]
                [--planted DIR --control planted_control.exe] [--probe access_probe.exe]

Each run serves a feed and the stand-in setup program under its own folder of the release server,
starts the installer with ZEL_BOOTSTRAP_FEED_URL pointing there, finds the window with xdotool,
clicks it, and checks a few exact pixels of root-window screenshots (kept in --shots). With
--probe, two runs use the keyboard alone and read the window as a screen reader does, from another
process. Every wait polls with a bounded timeout.
"""

import argparse
import base64
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_checks import check, control, failures, poll, read_tree, tree_names  # noqa: E402

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
    # The product is a copy of the stand-in, a real program: a launch that fails keeps the window.
    proc = start_installer(args.exe, server + folder + "/",
                           {"QV_FAKE_SETUP_PRODUCT": "copy", "QV_FAKE_SETUP_SLEEP_MS": "4000"})
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
    # The shot that showed the segment is the one checked: the next may catch it off the track.
    marquee_shown = lambda shot: shot if shot.count(*track, MARQUEE) > 0 else None
    shot = poll("the installing screen", lambda: marquee_shown(Shot(shots.tmp)), 40)
    check(shot is not None, tag + "moving segment")
    shot = shot or Shot(shots.tmp)
    shot.save_png(os.path.join(args.shots, "installing-%d.png" % dpi))
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
    check(names == ["bcrypt", "msimg32", "oleacc", "winhttp"], "planted DLLs %s" % names)
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
    proc = start_installer(installer, server + folder + "/",
                           dict(env, QV_FAKE_SETUP_PRODUCT="copy"))
    w = open_window(96, before)
    if w:
        if args.probe:  # a screen reader makes the installer load oleacc
            check(("button", "Install") in tree_names(read_tree(args.probe)),
                  "a screen reader reads the installer beside planted DLLs")
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


def keys(window, *names):
    """Presses keys as a user does, into the installer's window (which has the X focus)."""
    subprocess.run(["xdotool", "windowfocus", "--sync", window.wid], check=False,
                   stderr=subprocess.DEVNULL)
    for name in names:
        subprocess.run(["xdotool", "key", "--delay", "60", name], check=True)
        time.sleep(0.15)


def type_text(window, text):
    subprocess.run(["xdotool", "windowfocus", "--sync", window.wid], check=False,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["xdotool", "type", "--delay", "30", text], check=True)


class EventRecorder:
    """The installer's WinEvents, recorded out of process by the probe while the installer runs."""

    def __init__(self, args, folder):
        self.out = os.path.join(folder, "events.txt")
        self.stop_file = os.path.join(folder, "stop")
        self.proc = subprocess.Popen(["wine", args.probe, "events", windows_path(self.out),
                                      windows_path(self.stop_file)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def ready(self):
        return os.path.exists(self.out) and open(self.out, encoding="utf-8").read().startswith(
            "ready")

    def lines(self):
        with open(self.out, encoding="utf-8") as f:
            return [line.rstrip("\n").split("\t") for line in f if "\t" in line]

    def stop(self):
        open(self.stop_file, "w").close()
        exit_code(self.proc, 30)
        return self.lines() if os.path.exists(self.out) else []


def focus_ring(shot, w, x, y):
    """The pixel on the left edge of a focus ring inside the button at design x, y."""
    return shot.at(w.x + w.s(x) + w.s(3), w.y + w.s(y) + w.s(17))


def keyboard_run(args, server, root):
    """A whole install with the keyboard alone, read by a screen reader on each screen."""
    folder = "e2e-keys"
    serve_release(root, folder, args.fake_setup)
    # The first download is held at half, to be read and then canceled with Escape.
    control(server, "plan", path="/%s/%s" % (folder, SETUP),
            actions="stallbody:%d:20000" % HOLD_AT)
    typed = "C:\\users\\Public\\kbd-%d" % time.time_ns()
    with tempfile.TemporaryDirectory(prefix="qv-reader-") as scratch:
        recorder = EventRecorder(args, scratch)
        before = search_windows()
        proc = start_installer(args.exe, server + folder + "/",
                               {"QV_FAKE_SETUP_SLEEP_MS": "1500"})
        w = open_window(96, before)
        if not w or not poll("the event recorder", recorder.ready, 60):
            proc.kill()
            recorder.stop()
            return
        poll("the version note", lambda: Shot(shots.tmp).count(
            w.x + 50, w.y + 326, w.x + 300, w.y + 342, MUTED) > 5, 30)

        tree = read_tree(args.probe)
        check(tree_names(tree) == [("text", "Quorvane"),
                              ("text", "Installs just for you \u2014 no admin needed."),
                              ("text", "Version 4.5.6 - about 8 MB download"),
                              ("editable", "Install location"), ("button", "Browse"),
                              ("button", "Install")],
              "reader, location: %s" % tree_names(tree))
        check(tree[1] == ("button", "Install"), "reader, location: focus %s" % (tree[1],))
        field = [c for c in tree[0] if c[0] == "editable"]
        check(field and field[0][2].endswith("\\Programs\\Quorvane"),
              "reader, location: the field's value %s" % (field[0][2] if field else None))

        shot = Shot(shots.tmp)
        shot.save_png(os.path.join(args.shots, "keys-no-focus-cue-96.png"))
        check(focus_ring(shot, w, 358, 210) == ACTION_FACE,
              "no focus cue before the first keyboard navigation")

        # Tab to the field, which selects its text; End and Ctrl+A must select it all again, so
        # that the typed folder replaces the old one.
        keys(w, "Tab", "End", "ctrl+a")
        type_text(w, typed)
        keys(w, "Tab")
        shot = Shot(shots.tmp)
        check(focus_ring(shot, w, 310, 210) == TEXT, "focus cue on Browse after Tab")
        keys(w, "Tab")
        shot = Shot(shots.tmp)
        shot.save_png(os.path.join(args.shots, "keys-focus-cue-96.png"))
        check(focus_ring(shot, w, 358, 210) == WHITE, "focus cue on Install after Tab")
        check(focus_ring(shot, w, 310, 210) != TEXT, "no focus cue left on Browse")
        tree = read_tree(args.probe)
        field = [c for c in tree[0] if c[0] == "editable"]
        check(field and field[0][2] == typed,
              "Ctrl+A and typing replaced the field: %s" % (field[0][2] if field else None))

        # Enter in the field does what Install does.
        keys(w, "shift+Tab", "shift+Tab", "Return")
        want = 50 + 420 * (HOLD_AT * 1000 // SERVED_SIZE) // 1000
        poll("the held download", lambda: fill_edge(Shot(shots.tmp), w, 319) == want, 30)
        value_events = lambda: [e for e in recorder.lines() if e[0] == "value"]
        held = "%d%%" % (HOLD_AT * 100 // SERVED_SIZE)
        poll("the held share announced", lambda: any(e[3] == held for e in value_events()), 10)
        announced = len(value_events())
        tree = read_tree(args.probe)
        check([(r, v) for r, _n, v, _s, _a in tree[0] if r == "progressbar"] ==
              [("progressbar", held)],
              "reader, downloading: progress %s" % tree_names(tree))
        check(tree_names(tree)[:2] == [("text", "Quorvane"),
                                       ("text", "Downloading Quorvane 4.5.6...")],
              "reader, downloading: %s" % tree_names(tree))

        # The bar's timer ticks 25 times a second meanwhile; the value is announced only when it
        # changes, and it does not while the body is held.
        check(len(value_events()) == announced,
              "no progress announced while the download is held (%d, then %d)"
              % (announced, len(value_events())))

        # Escape cancels the download; the location screen comes back with the focus on Install.
        keys(w, "Escape")
        poll("the location screen after Escape",
             lambda: w.px(Shot(shots.tmp), 360, 212) == ACTION_FACE, 30)
        tree = read_tree(args.probe)
        check(("editable", "Install location") in tree_names(tree) and
              tree[1] == ("button", "Install"), "Escape canceled the download: %s" % (tree,))

        # Enter on Install runs the install again, to the end.
        keys(w, "Return")
        poll("the done screen",
             lambda: Shot(shots.tmp).count(w.x + 50, w.y + 192, w.x + 300, w.y + 210, TEXT) > 10
             and Shot(shots.tmp).count(w.x + 50, w.y + 314, w.x + 470, w.y + 324, TRACK) == 0,
             60)
        tree = read_tree(args.probe)
        check(tree_names(tree) == [("text", "Quorvane"), ("text", "Quorvane is installed."),
                              ("text", "You can close this window.")],
              "reader, done: %s" % tree_names(tree))
        keys(w, "Escape")
        rc = exit_code(proc, 30)
        check(rc == 0, "Escape on the done screen closes the installer (%s)" % rc)
        events = recorder.stop()

    setup_record = read_setup_record()
    check(setup_record is not None and setup_record.endswith("/D=" + typed),
          "the setup program was given the typed folder: %s" % setup_record)
    kinds = [e[0] for e in events]
    values = [e[3] for e in events if e[0] == "value"]
    check("reorder" in kinds and "name" in kinds, "screen and text changes announced %s" % kinds)
    # Read when each event arrived, so a late one may see a later value or screen.
    check(values, "progress announced: %s" % values)
    alerts = [e[2] for e in events if e[0] == "alert"]
    check(alerts == ["Quorvane is installed."], "one alert when the run finished: %s" % alerts)
    with open(os.path.join(args.shots, "keys-events.txt"), "w", encoding="utf-8") as f:
        f.writelines("\t".join(e) + "\n" for e in events)


BROWSER_KEY = "HKLM\\Software\\Classes\\https\\shell\\open\\command"


def keyboard_failed_run(args, server, root):
    """The failure screen with the keyboard: its reason read and alerted, the link reached with
    Tab and opened with Enter, Space and the reader's default action, Try Again with Space."""
    folder = "e2e-keys-bad"
    serve_release(root, folder, args.fake_setup, good_checksum=False)
    reason = "the download failed verification (checksum mismatch), so it was discarded"
    old_browser = subprocess.run(["wine", "reg", "query", BROWSER_KEY, "/ve"], capture_output=True,
                                 text=True).stdout
    with tempfile.TemporaryDirectory(prefix="qv-browser-") as scratch:
        # A stand-in browser: the stand-in setup program, which records its command line.
        browser = shutil.copy(args.fake_setup, os.path.join(scratch, "browser.exe"))
        opened = browser + ".record"
        subprocess.run(["wine", "reg", "add", BROWSER_KEY, "/ve", "/d",
                        '"%s" "%%1"' % windows_path(browser), "/f"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            keyboard_failed_in(args, server, folder, scratch, opened, reason)
        finally:
            restore = [line.split("REG_SZ", 1)[1].strip() for line in old_browser.splitlines()
                       if "REG_SZ" in line]
            if restore:
                subprocess.run(["wine", "reg", "add", BROWSER_KEY, "/ve", "/d", restore[0], "/f"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def keyboard_failed_in(args, server, folder, scratch, opened, reason):
    def page_opened(how):
        url = poll("the page opened with " + how, lambda: os.path.exists(opened) and open(
            opened, "rb").read().decode("utf-16-le").split("\n")[0], 30)
        check(url and url.endswith('"https://quorvane.example/download"'),
              "%s opened the release page: %s" % (how, url))
        if os.path.exists(opened):
            os.remove(opened)

    recorder = EventRecorder(args, scratch)
    before = search_windows()
    proc = start_installer(args.exe, server + folder + "/")
    w = open_window(96, before)
    if not w or not poll("the event recorder", recorder.ready, 60):
        proc.kill()
        recorder.stop()
        return
    keys(w, "Return")  # the focus starts on Install
    poll("the failed screen", lambda: w.px(Shot(shots.tmp), 55, 290) == ACTION_FACE, 40)
    tree = read_tree(args.probe)
    check(tree_names(tree) == [("text", "Quorvane"), ("text", "Something went wrong."),
                          ("text", reason), ("button", "Try Again"),
                          ("link", "Get the full installer instead")],
          "reader, failed: %s" % tree_names(tree))
    check(tree[1] == ("button", "Try Again"), "reader, failed: focus %s" % (tree[1],))
    link = tree[0][-1] if tree[0] else ()
    check(link[2:] == ("https://quorvane.example/download", link[3] if link else "", "Jump"),
          "reader, failed: the link's value and action %s" % (link,))
    poll("the failure's alert", lambda: any(e[0] == "alert" for e in recorder.lines()), 10)
    alerts = [e[2] for e in recorder.lines() if e[0] == "alert"]
    check(alerts == [reason], "the failure's reason alerted: %s" % alerts)

    link_left = (w.x + 50 - 4, w.y + 338)  # the focus outline's left edge, mid-height
    check(Shot(shots.tmp).at(*link_left) != LINK, "no outline around the link before Tab")
    keys(w, "Tab")  # from Try Again to the link
    shot = Shot(shots.tmp)
    shot.save_png(os.path.join(args.shots, "keys-link-focus-96.png"))
    check(shot.at(*link_left) == LINK, "focus outline around the link after Tab")
    keys(w, "Return")
    page_opened("Enter on the link")
    keys(w, "space")
    page_opened("Space on the link")
    press = subprocess.run(["wine", args.probe, "press", "Get the full installer instead"],
                           capture_output=True, timeout=60)
    check(press.returncode == 0, "the reader's default action on the link")
    page_opened("the link's default action")

    keys(w, "shift+Tab", "space")  # Try Again
    poll("the location screen after Try Again",
         lambda: w.px(Shot(shots.tmp), 360, 212) == ACTION_FACE, 30)
    check(("editable", "Install location") in tree_names(read_tree(args.probe)),
          "Space on Try Again brought back the location screen")
    keys(w, "Escape")
    rc = exit_code(proc, 30)
    check(rc == 0, "Escape on the location screen closes the installer (%s)" % rc)
    recorder.stop()


def read_setup_record():
    """The command line of the last stand-in setup program that an installer ran, or None: it
    records it beside itself, in the installer's download folder in the prefix."""
    users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*")
    found = [path for temp in ("Temp", os.path.join("AppData", "Local", "Temp"))
             for path in glob.glob(os.path.join(users, temp, "QuorvaneInstaller",
                                                SETUP + ".record"))]
    if not found:
        return None
    with open(found[0], "rb") as f:
        return f.read().decode("utf-16-le").split("\n")[0]


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
    parser.add_argument("--probe", help="program that reads the window as a screen reader does")
    parser.add_argument("--only", help="only these cases, comma-separated: mouse, keyboard, "
                        "failed-keyboard, precheck, planted")
    args = parser.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    shots.tmp = os.path.join(args.shots, "current.ppm")
    server = os.environ["QV_TEST_SERVER"]
    root = os.environ["QV_TEST_ROOT"]
    wanted = set(args.only.split(",")) if args.only else None
    run = lambda case: wanted is None or case in wanted
    try:
        for dpi in [int(d) for d in args.dpi.split(",")]:
            set_dpi(dpi)
            if run("mouse"):
                success_run(args, server, root, dpi)
                failed_run(args, server, root, dpi)
        set_dpi(96)
        if args.probe and run("keyboard"):
            keyboard_run(args, server, root)
        if args.probe and run("failed-keyboard"):
            keyboard_failed_run(args, server, root)
        if run("precheck"):
            close_during_precheck(args, server, root)
        if args.planted and run("planted"):
            planted_runs(args, server, root)
    finally:
        set_dpi(96)
        if os.path.exists(shots.tmp):
            os.remove(shots.tmp)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
