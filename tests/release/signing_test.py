#!/usr/bin/env python3
"""Signs the installer as `make sign` does and checks the signed program.

Run inside tools/wine-env.sh (WINEPREFIX and DISPLAY set):

  signing_test.py --exe QuorvaneInstaller.exe --work DIR --version 1.0.0

With a throwaway certificate made in DIR: `osslsigncode verify` accepts the signature against that
certificate and refuses a copy with one byte changed; removing the signature gives back the
unsigned program byte for byte; the version information and the manifest read the same from both;
and the signed program starts under Wine, paints its window and exits 0 when closed. A time-stamp
server that can't be reached and a key that is not one are each told in one line of the script's
own, with nothing signed.
"""

import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import window_e2e as e2e  # noqa: E402  (its window helpers)

check = e2e.check


def run(*command):
    return subprocess.run(command, capture_output=True, text=True)


def resources(exe):
    """The program's resources as the resource compiler reads them back."""
    return run("x86_64-w64-mingw32-windres", "-J", "coff", "-i", exe, "-O", "rc").stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    signed = os.path.join(args.work, "QuorvaneInstaller.exe")
    cert = os.path.join(args.work, "throwaway-cert.pem")
    subprocess.run(["sh", os.path.join(REPO, "tools", "sign-exe.sh"), args.exe, signed],
                   check=True)

    verify = run("osslsigncode", "verify", "-in", signed, "-CAfile", cert)
    print(verify.stdout, flush=True)
    check(verify.returncode == 0 and "Signature verification: ok" in verify.stdout
          and "Message digest algorithm  : SHA256" in verify.stdout,
          "osslsigncode verify accepts the SHA-256 signature")
    with open(signed, "rb") as f:
        tampered = bytearray(f.read())
    tampered[len(tampered) // 2] ^= 1
    changed = os.path.join(args.work, "changed.exe")
    with open(changed, "wb") as f:
        f.write(tampered)
    check(run("osslsigncode", "verify", "-in", changed, "-CAfile", cert).returncode != 0,
          "osslsigncode verify refuses a copy with one byte changed")

    stripped = os.path.join(args.work, "stripped.exe")
    run("osslsigncode", "remove-signature", "-in", signed, "-out", stripped)
    with open(args.exe, "rb") as a, open(stripped, "rb") as b:
        check(a.read() == b.read(), "without its signature the program is the unsigned one")

    before, after = resources(args.exe), resources(signed)
    check('VALUE "FileVersion", "%s"' % args.version in after
          and 'requestedExecutionLevel level=""asInvoker""' in after,
          "the signed program has its version information and manifest")
    check(before == after, "its resources read the same as the unsigned program's")

    key, failed_out = os.path.join(args.work, "throwaway-key.pem"), os.path.join(args.work, "x.exe")
    for signer, url, says in [
            ((cert, key), "http://127.0.0.1:9/", "sign-exe.sh: the time-stamp server "
             "http://127.0.0.1:9/ could not be reached or gave no time stamp (HTTP failure"),
            ((cert, cert), "", "sign-exe.sh: nothing was signed: osslsigncode could not sign with "
             "the certificate %s and the key %s (Failed to decode private key" % (cert, cert))]:
        failed = run("sh", os.path.join(REPO, "tools", "sign-exe.sh"), args.exe, failed_out,
                     *signer, url)
        check(failed.returncode == 1 and failed.stderr.startswith(says)
              and len(failed.stderr.splitlines()) == 1 and not os.path.exists(failed_out),
              "one line of its own, nothing signed: %s" % failed.stderr)

    e2e.shots.tmp = os.path.join(args.work, "current.ppm")
    shown = e2e.search_windows()
    # Nothing serves the feed here: the version pre-check fails quietly and the window stays.
    proc = e2e.start_installer(signed, "http://127.0.0.1:9/")
    window = e2e.open_window(96, shown)
    rc = None
    if window:
        window.click(498, 22)  # the close box
        try:
            rc = proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            pass
    if rc is None:
        proc.kill()
    check(rc == 0, "the signed program starts, paints and exits 0 when closed (%s)" % rc)

    print("%d failure(s)" % len(e2e.failures))
    return 1 if e2e.failures else 0


if __name__ == "__main__":
    sys.exit(main())
