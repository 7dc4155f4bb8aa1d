#!/usr/bin/env python3
"""The build settings' checks (cmake/check_settings.cmake), row by row, each in cmake's script mode
as a configure runs them: whether it fails, warns or passes, and what it says.

  settings_test.py [--cmake CMAKE]
"""

import argparse
import os
import subprocess
import sys
import tempfile

MODULE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake",
                      "check_settings.cmake")
FEED = "https://releases.quorvane.example/stable/"
PAGE = "https://quorvane.example/download"

# (feed base URL, release page URL, publisher, outcome, what the message must say, more -D...)
ROWS = [
    (FEED, PAGE, "", "ok", ""),
    ("https://downloads.example.com:8443/quorvane", "http://example.com/q?lang=en#top",
     "Acme Widgets Ltd", "ok", ""),
    ("https://127.0.0.1/", PAGE, "Quorvane T\u00e9st Publisher", "ok", ""),
    ("releases.acme.example/stable/", PAGE, "", "error",
     "QUORVANE_FEED_BASE_URL is \"releases.acme.example/stable/\", which is not an absolute "
     "http(s) URL with a host (it does not start with https://"),
    ("HTTPS://releases.acme.example/", PAGE, "", "error", "in lower case"),
    ("https:///stable/", PAGE, "", "error", "(it names no host)"),
    ("https://:8080/", PAGE, "", "error", "(it names no host)"),
    ("https://", PAGE, "", "error", "(it names no host)"),
    ("", PAGE, "", "error", "QUORVANE_FEED_BASE_URL is \"\", which is not an absolute http(s) URL "
     "with a host (it is empty)"),
    ("https://releases.acme.example:70000/", PAGE, "", "error", "the port \"70000\" is not"),
    ("https://releases.acme.example:/", PAGE, "", "error",
     "the port \"\" is not a number from 0 to 65535"),
    ("https://user@releases.acme.example/", PAGE, "", "error", "a user name before the host"),
    ("https://[::1]/", PAGE, "", "error", "is not a plain host name"),
    ("https://releases.acme.example/stable/?x=1", PAGE, "", "error", "holds \"?\" or \"#\""),
    ("https://releases.acme.example/my releases/", PAGE, "", "error", "it holds white space"),
    ("http://releases.acme.example/stable/", PAGE, "", "warning",
     "QUORVANE_FEED_BASE_URL is plain http (http://releases.acme.example/stable/): anyone on the "
     "network between a user and the server"),
    (FEED, "quorvane.example/download", "", "error",
     "QUORVANE_RELEASE_PAGE_URL is \"quorvane.example/download\", which is not an absolute "
     "http(s) URL with a host"),
    (FEED, "", "", "error", "QUORVANE_RELEASE_PAGE_URL is \"\""),
    (FEED, "mailto:releases@example.com", "", "error", "QUORVANE_RELEASE_PAGE_URL"),
    (FEED, PAGE, "CN=Acme Ltd", "error",
     "QUORVANE_SETUP_PUBLISHER is \"CN=Acme Ltd\", which looks like a distinguished name"),
    (FEED, PAGE, "O=Acme Ltd, C=GB", "error", "looks like a distinguished name"),
    (FEED, PAGE, "/C=GB/O=Acme/CN=Acme Widgets Ltd", "error",
     "\"-DQUORVANE_SETUP_PUBLISHER=Acme Widgets Ltd\""),
    (FEED, PAGE, "cn = Acme Ltd, o=Acme", "error", "\"-DQUORVANE_SETUP_PUBLISHER=Acme Ltd\""),
    (FEED, PAGE, "Acme = Widgets Ltd", "ok", ""),
    (FEED, PAGE, "", "error", "QUORVANE_FEED_REQUIRE_EXPIRY is ON but QUORVANE_FEED_PUBLIC_KEYS "
     "is empty", "-DQUORVANE_FEED_REQUIRE_EXPIRY=ON"),
    (FEED, PAGE, "", "error", "QUORVANE_FEED_REQUIRE_EXPIRY is \"maybe\": write ON",
     "-DQUORVANE_FEED_REQUIRE_EXPIRY=maybe"),
    (FEED, PAGE, "", "ok", "", "-DQUORVANE_FEED_REQUIRE_EXPIRY=off"),
]


def key_rows(scratch):
    """Rows with QUORVANE_FEED_PUBLIC_KEYS, for keys made in `scratch`. A relative path is read
    against the checkout, never against the folder cmake runs in."""
    key, pub, cert = (os.path.join(scratch, name) for name in ("k.pem", "k.pub.pem", "c.pem"))
    for command in (["ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", key],
                    ["ec", "-in", key, "-pubout", "-out", pub],
                    ["req", "-x509", "-key", key, "-subj", "/CN=Acme", "-out", cert]):
        subprocess.run(["openssl", *command], check=True, capture_output=True)
    from_checkout = os.path.relpath(pub, os.path.join(os.path.dirname(MODULE), ".."))
    missing = os.path.join(scratch, "none.pem")
    keys = "-DQUORVANE_FEED_PUBLIC_KEYS="
    return [(FEED, PAGE, "", "ok", "", keys + pub), (FEED, PAGE, "", "ok", "", keys + from_checkout),
            (FEED, PAGE, "", "error", "%s holds a private key" % key, keys + key),
            (FEED, PAGE, "", "error", "%s is not an ECDSA P-256 public key in PEM" % cert,
             keys + pub + ";" + cert),
            (FEED, PAGE, "", "error", "there is no file " + missing, keys + missing),
            (FEED, PAGE, "", "error", "~/k.pub.pem starts with \"~\"", keys + "~/k.pub.pem")]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cmake", default="cmake")
    args = parser.parse_args()
    failures = 0
    scratch = tempfile.TemporaryDirectory()
    elsewhere = os.path.join(scratch.name, "a", "b", "c")
    os.makedirs(elsewhere)
    rows = ROWS + key_rows(scratch.name)
    for feed, page, publisher, outcome, says, *more in rows:
        run = subprocess.run([args.cmake, "-DQUORVANE_FEED_BASE_URL=" + feed,
                              "-DQUORVANE_RELEASE_PAGE_URL=" + page,
                              "-DQUORVANE_SETUP_PUBLISHER=" + publisher, *more, "-P",
                              os.path.abspath(MODULE)],
                             capture_output=True, text=True, cwd=elsewhere)
        # cmake wraps its messages: compare them with the lines joined again.
        said = " ".join(run.stderr.split())
        got = ("error" if run.returncode != 0 else
               "warning" if "CMake Warning" in run.stderr else "ok")
        if got != outcome or " ".join(says.split()) not in said:
            failures += 1
            print("FAIL %r %r %r %r: %s, wanted %s with %r\n%s"
                  % (feed, page, publisher, keys, got, outcome, says, run.stderr))
    print("%d row(s), %d failure(s)" % (len(rows), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
