#!/usr/bin/env python3
"""Figures of the whole road under Wine, each against the platform's floor measured in the same
run, in alternating rounds after one unmeasured round of each. Run by tools/bench/bench_road.sh
inside tools/wine-env.sh (WINEPREFIX and DISPLAY set).

  startup  process start to the first painted window: bench_installer.exe (the installer) against
           bench_window_peer.exe (a minimal program that only opens a window). Both are timed the
           same way: from just before the process is started to the line that each writes right
           after its window procedure has handled its first WM_PAINT. Goal: ratio <= 1.1.
  install  the Install click to Done for a 256 MiB release from the local release server
           (bench_installer.exe install, built with the test feed keys and publisher: the feed is
           signed and the setup program Authenticode-signed, so both locks are measured) against
           bench_install_peer.exe, which fetches the feed and the file with WinHTTP, hashes it
           with BCrypt and runs the setup program. Each
           program times itself, from its first request's start to the setup program's end.
           Goal: ratio <= 1.1.
  install-open  the same with bench_installer_open.exe, built with no keys and no publisher (the
           default settings): the same release, its signature line ignored.
  memory   peak and steady working set of a whole install run against the minimal window program:
           steady is the working set 4 s after the first paint, on the first screen with the
           pictures decoded and the feed checked (the peer: 4 s after its first paint).

  bench_road.py startup|install|install-open|memory --bin DIR --work DIR [--rounds N] [--mib N]
"""

import argparse
import glob
import os
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "support"))
import code_signing  # noqa: E402
SETUP = "QuorvaneSetup-road.exe"


def run(exe, args, env=None):
    """Runs one Wine program; returns (seconds to its first line, {field: value} of all lines)."""
    started = time.monotonic()
    process = subprocess.Popen(["wine", exe] + args, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=dict(os.environ, **(env or {})))
    first = process.stdout.readline()
    first_seconds = time.monotonic() - started
    rest = process.stdout.read()
    process.wait(timeout=600)
    # Lines are "tag key=value ...": each value is kept as "tag.key" (".key" without a tag).
    fields = {}
    for line in (first + rest).decode().splitlines():
        words = line.split()
        tag = words[0] if words and "=" not in words[0] else ""
        for word in words:
            key, equals, value = word.partition("=")
            if equals:
                fields[tag + "." + key] = value
    if any(key.endswith(".error") for key in fields):
        sys.exit("%s failed: %s" % (os.path.basename(exe), (first + rest).decode().strip()))
    return first_seconds, fields


def rounds(count, first, second, show="%.3f".__mod__):
    """count alternating rounds of the two callables after one unmeasured call of each."""
    first()
    second()
    a, b = [], []
    for i in range(count):
        if i % 2 == 0:
            a.append(first())
            b.append(second())
        else:
            b.append(second())
            a.append(first())
        print("  round %d: ours %s, peer %s" % (i + 1, show(a[-1]), show(b[-1])), flush=True)
    return a, b


def fmt(values):
    return " ".join("%.3f" % v for v in values)


def serve_release(work, mib, fake_setup):
    """Starts the release server over a release of the fake setup padded to mib MiB."""
    served = os.path.join(work, "served")
    os.makedirs(os.path.join(served, "road"), exist_ok=True)
    with open(fake_setup, "rb") as f:
        program = f.read()
    padding = bytes(1 << 20)
    size = mib << 20
    padded = os.path.join(work, "padded.exe")
    with open(padded, "wb") as f:
        f.write(program)
        left = size - len(program)
        while left > 0:
            piece = padding[:min(left, len(padding))]
            f.write(piece)
            left -= len(piece)
    # Signed as a product team ships it: the program by the publisher, the feed with its key.
    trust = os.path.join(os.path.dirname(fake_setup), "trust")
    with open(os.path.join(trust, "publisher.txt"), encoding="utf-8") as f:
        code_signing.make_pki(os.path.join(work, "pki"), f.read())
    setup = os.path.join(served, "road", SETUP)
    code_signing.sign(os.path.join(work, "pki"), "publisher", padded, setup)
    os.remove(padded)
    key = os.path.join(trust, "feed-key-a.pem")
    subprocess.run([sys.executable, os.path.join(REPO, "tools", "publish-release"), "--sign-key",
                    key, "--verify-key", key + ".pub", setup, "9.9.9"], check=True,
                   stdout=subprocess.DEVNULL)
    port_file = os.path.join(work, "port")
    if os.path.exists(port_file):
        os.remove(port_file)
    server = subprocess.Popen([sys.executable, os.path.join(REPO, "tests", "support",
                                                            "release_server.py"),
                               "--root", served, "--port-file", port_file],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while not os.path.exists(port_file):
        if time.monotonic() > deadline:
            server.kill()
            sys.exit("the release server did not start")
        time.sleep(0.05)
    with open(port_file) as f:
        return server, "http://127.0.0.1:%s/road/" % f.read().strip()


def clear_downloads():
    """The installer resumes what it finds in its download folder: every round starts empty."""
    pattern = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*", "AppData", "Local",
                           "Temp", "QuorvaneInstaller")
    for folder in glob.glob(pattern):
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))


def startup(args):
    # Each program also says how old it was (by the system's clock) when its entry ran: the
    # part before it is Wine's loader with the program's imports.
    entries = {"ours": [], "peer": []}

    def timed(who, exe, env=None):
        seconds, fields = run(exe, ["paint"], env)
        entries[who].append(float(fields["painted.entry_age_ms"]) / 1000)
        return seconds
    ours = lambda: timed("ours", args.installer, {"ZEL_BOOTSTRAP_FEED_URL": args.no_feed})
    peer = lambda: timed("peer", args.window_peer)
    print("process start to first painted window under Wine, %d rounds (seconds):" % args.rounds)
    a, b = rounds(args.rounds, ours, peer)
    ma, mb = statistics.median(a), statistics.median(b)
    ea, eb = statistics.median(entries["ours"][1:]), statistics.median(entries["peer"][1:])
    print("installer    median %.3f s  (entry reached after %.3f s)  runs: %s" % (ma, ea, fmt(a)))
    print("window peer  median %.3f s  (entry reached after %.3f s)  runs: %s" % (mb, eb, fmt(b)))
    print("ratio installer/peer: %.3f (goal <= 1.1); fastest runs: %.3f" % (ma / mb,
                                                                           min(a) / min(b)))


def with_release(args, body):
    server, feed = serve_release(args.work, args.mib, args.fake_setup)
    try:
        return body(feed)
    finally:
        server.kill()
        server.wait()


def install_run(args, feed):
    clear_downloads()
    _, fields = run(args.installer, ["install"], {"ZEL_BOOTSTRAP_FEED_URL": feed,
                                                  "QV_FAKE_SETUP_PRODUCT": "1"})
    if fields.get("done.outcome") != "0":
        sys.exit("the install run did not end on Done: %s" % fields)
    return fields


def install(args):
    def body(feed):
        folder = "Z:" + os.path.join(args.work, "peer-folder").replace("/", "\\")
        os.makedirs(os.path.join(args.work, "peer-folder"), exist_ok=True)
        def ours():
            fields = install_run(args, feed)
            phases.append("ours: verifying from %s s, installing from %s s" % (
                fields.get("screen2.seconds"), fields.get("screen3.seconds")))
            return float(fields["done.seconds"])

        def peer():
            _, fields = run(args.install_peer, [feed, folder], {"QV_FAKE_SETUP_PRODUCT": "1"})
            phases.append("peer: verifying from %s s, installing from %s s" % (
                fields.get("phases.verify_from"), fields.get("phases.setup_from")))
            return float(fields["done.seconds"])
        phases = []
        print("Install click to Done, %d MiB release from 127.0.0.1 under Wine, %d rounds "
              "(seconds):" % (args.mib, args.rounds))
        result = rounds(args.rounds, ours, peer)
        print("where the time went, run by run:\n  " + "\n  ".join(phases[2:]))
        return result
    a, b = with_release(args, body)
    ma, mb = statistics.median(a), statistics.median(b)
    print("installer        median %.3f s  runs: %s" % (ma, fmt(a)))
    print("bare platform    median %.3f s  runs: %s" % (mb, fmt(b)))
    print("ratio installer/bare: %.3f (goal <= 1.1)" % (ma / mb))


def memory(args):
    mib = lambda v: int(v) / 1048576

    def body(feed):
        ours = lambda: install_run(args, feed)
        peer = lambda: run(args.window_peer, ["idle"])[1]
        print("working sets of a whole run (%d MiB release) and of the minimal window, %d rounds "
              "(MiB):" % (args.mib, args.rounds))
        peak = lambda f: "peak %.1f" % mib(f.get("finished.peak_working_set",
                                                   f.get("settled.peak_working_set")))
        return rounds(args.rounds, ours, peer, peak)
    a, b = with_release(args, body)
    figures = [
        ("installer peak (whole run)", [mib(f["finished.peak_working_set"]) for f in a]),
        ("installer steady (first screen)", [mib(f["settled.working_set"]) for f in a]),
        ("installer at Done", [mib(f["finished.working_set"]) for f in a]),
        ("window peer peak", [mib(f["settled.peak_working_set"]) for f in b]),
        ("window peer steady", [mib(f["settled.working_set"]) for f in b]),
    ]
    m = {}
    for name, values in figures:
        m[name] = statistics.median(values)
        print("%-32s median %6.1f MiB  runs: %s" % (name, m[name], fmt(values)))
    print("ratio peak installer/peer: %.2f; steady installer/peer: %.2f" % (
        m["installer peak (whole run)"] / m["window peer peak"],
        m["installer steady (first screen)"] / m["window peer steady"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("figure", choices=["startup", "install", "install-open", "memory"])
    parser.add_argument("--bin", required=True, help="folder of the benchmark programs")
    parser.add_argument("--work", required=True, help="scratch folder")
    parser.add_argument("--rounds", type=int, default=0)
    parser.add_argument("--mib", type=int, default=256)
    args = parser.parse_args()
    args.installer = os.path.join(args.bin, "bench_installer_open.exe" if args.figure ==
                                  "install-open" else "bench_installer.exe")
    args.window_peer = os.path.join(args.bin, "bench_window_peer.exe")
    args.install_peer = os.path.join(args.bin, "bench_install_peer.exe")
    args.fake_setup = os.path.join(args.bin, "fake_setup.exe")
    args.no_feed = "http://127.0.0.1:9/"  # refused at once: the pre-check waits for nothing
    if not args.rounds:
        args.rounds = 10 if args.figure == "startup" else 3
    os.makedirs(args.work, exist_ok=True)
    {"startup": startup, "install": install, "install-open": install,
     "memory": memory}[args.figure](args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
