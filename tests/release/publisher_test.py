#!/usr/bin/env python3
"""The release tool's publisher check against the installer's rule and Windows' own answer.

Run inside tools/wine-env.sh (WINEPREFIX and DISPLAY set):

  publisher_test.py --setup SETUP.exe --signer-name signer_name.exe --work DIR

A program is signed with certificates of many shapes (each table row); the signer's name that
tools/publish-release derives must be the one Windows documents for CertGetNameString's simple
display name, and the one that Wine's crypt32 gives (signer_name.exe) where Wine follows that
documentation. Then the refusals: unsigned, changed after signing, another name, a name in
another case; and the warning for a signer that no public authority vouches for, which goes when
the CA bundle (SSL_CERT_FILE) holds the signer's authority.
"""

import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from e2e_checks import check, failures  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "tools", "publish-release")

CONFIG = """\
[req]
distinguished_name = empty
string_mask = {mask}
[empty]
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
[signer_san]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectAltName = email:san@acme.example
"""

# (subject, string mask, with an e-mail alternative name, the simple display name Windows
# documents, whether Wine's crypt32 gives the same)
ROWS = [
    ("/CN=Acme Widgets Ltd", "utf8only", False, "Acme Widgets Ltd", True),
    ("/C=GB/O=Acme Org/OU=Acme Unit", "utf8only", False, "Acme Unit", True),
    ("/C=GB/O=Acme Org", "utf8only", False, "Acme Org", True),
    ("/C=GB/emailAddress=releases@acme.example", "utf8only", False, "releases@acme.example", True),
    ("/O=Acme Org/CN=Acme Common", "utf8only", False, "Acme Common", True),
    ("/CN=First Ltd/CN=Second Ltd", "utf8only", False, "First Ltd", True),
    ("/C=GB/L=Leeds", "utf8only", True, "san@acme.example", True),
    # Non-ASCII names, as UTF8String and as BMPString.
    ("/CN=\u00dcn\u00efc\u00f6d\u00e9 Ltd \u682a\u5f0f\u4f1a\u793e", "utf8only", False,
     "\u00dcn\u00efc\u00f6d\u00e9 Ltd \u682a\u5f0f\u4f1a\u793e", True),
    ("/CN=Quorvane T\u00e9st \u041f\u0443\u0431\u043b\u0438\u0448\u0435\u0440", "default", False,
     "Quorvane T\u00e9st \u041f\u0443\u0431\u043b\u0438\u0448\u0435\u0440", True),
    # No field of the list and no e-mail name: the first attribute, where Wine gives "".
    ("/C=GB/L=Leeds", "utf8only", False, "GB", False),
]

def openssl(work, mask, *args):
    config = os.path.join(work, "openssl-%s.cnf" % mask)
    with open(config, "w") as f:
        f.write(CONFIG.format(mask=mask))
    subprocess.run(["openssl", *args], cwd=work, check=True, capture_output=True,
                   env=dict(os.environ, OPENSSL_CONF=config))


def sign(cert, key, program, out):
    if os.path.exists(out):
        os.remove(out)  # osslsigncode writes no file over another
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-in",
                    program, "-out", out], check=True, capture_output=True)
    return out


def tool(*args, bundle=None):
    env = dict(os.environ)
    if bundle:
        env["SSL_CERT_FILE"] = bundle
    run = subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True, env=env)
    return run.returncode, " ".join((run.stdout + run.stderr).split())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--setup", required=True)
    parser.add_argument("--signer-name", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-utf8", "-days", "2"]

    signed = []
    for i, (subject, mask, san, _, _) in enumerate(ROWS):
        openssl(work, mask, "req", "-x509", *ec, "-subj", subject, "-extensions",
                "signer_san" if san else "signer", "-keyout", "%d.key" % i, "-out", "%d.pem" % i)
        signed.append(sign(os.path.join(work, "%d.pem" % i), os.path.join(work, "%d.key" % i),
                           args.setup, os.path.join(work, "signed-%d.exe" % i)))
    ours = subprocess.run([sys.executable, TOOL, "--signer", *signed], capture_output=True,
                          text=True).stdout.splitlines()
    windows = subprocess.run(["wine", args.signer_name, *signed], capture_output=True,
                             timeout=120).stdout.decode("utf-8").splitlines()
    for (subject, mask, san, expected, wine_agrees), mine, theirs in zip(ROWS, ours, windows):
        what = "%s (%s%s)" % (subject, mask, ", e-mail alternative name" if san else "")
        check(mine == expected, "%s: the tool names %r, documented %r" % (what, mine, expected))
        if wine_agrees:
            check(theirs == expected, "%s: crypt32 names %r" % (what, theirs))
    check(len(ours) == len(windows) == len(ROWS), "a name for every row")

    # Publishing with the publisher pinned to each documented name.
    release = os.path.join(work, "release")
    os.makedirs(release)
    setup = os.path.join(release, "Setup.exe")
    for (_, _, _, expected, _), program in zip(ROWS, signed):
        shutil.copy(program, setup)
        status, said = tool("--publisher", expected, setup, "1.0")
        warned = 'vouches for the signer "%s" (self-signed certificate)' % expected in said
        check(status == 0 and warned, "published for %r, with the warning%s"
              % (expected, "" if warned else ": " + said))

    refusals = [
        (args.setup, "Acme Widgets Ltd", "is not signed, and the installer described by "
         "--verify-key and --publisher only runs a setup program signed by \"Acme Widgets Ltd\": "
         "it would refuse this one with \"the download isn't signed by the publisher, so it was "
         "discarded\". Sign it"),
        (signed[0], "ACME Widgets Ltd", "is signed by \"Acme Widgets Ltd\" (the names differ only "
         "in case)"),
        (signed[0], "Acme Widgets", "is signed by \"Acme Widgets Ltd\", and"),
    ]
    with open(signed[0], "rb") as f:
        changed = bytearray(f.read())
    changed[changed.index(b"This program cannot be run")] ^= 0x20  # hashed, never executed
    with open(os.path.join(work, "changed.exe"), "wb") as f:
        f.write(changed)
    refusals.append((os.path.join(work, "changed.exe"), "Acme Widgets Ltd",
                     "was changed after it was signed"))
    for program, publisher, says in refusals:
        shutil.copy(program, setup)
        if os.path.exists(os.path.join(release, "latest.yml")):
            os.remove(os.path.join(release, "latest.yml"))
        status, said = tool("--publisher", publisher, setup, "1.0")
        check(status == 1 and says in said and not os.path.exists(
            os.path.join(release, "latest.yml")), "refused for %r: %s" % (publisher, said))

    # A signer whose authority is in the CA bundle: no warning.
    openssl(work, "utf8only", "req", "-x509", *ec, "-subj", "/CN=Acme Test Authority",
            "-extensions", "authority", "-keyout", "ca.key", "-out", "ca.pem")
    openssl(work, "utf8only", "req", "-new", *ec, "-subj", "/CN=Acme Widgets Ltd", "-keyout",
            "vouched.key", "-out", "vouched.csr")
    openssl(work, "utf8only", "x509", "-req", "-in", "vouched.csr", "-CA", "ca.pem", "-CAkey",
            "ca.key", "-CAcreateserial", "-days", "2", "-extfile",
            os.path.join(work, "openssl-utf8only.cnf"), "-extensions", "signer", "-out",
            "vouched.pem")
    sign(os.path.join(work, "vouched.pem"), os.path.join(work, "vouched.key"), args.setup,
         setup)
    status, said = tool("--publisher", "Acme Widgets Ltd", setup, "1.0",
                        bundle=os.path.join(work, "ca.pem"))
    check(status == 0 and "warning" not in said,
          "vouched for by the bundle: no warning (%s)" % said)
    status, said = tool("--publisher", "Acme Widgets Ltd", setup, "1.0")
    check(status == 0 and "(unable to get local issuer certificate)" in said,
          "the same against the system's bundle: warned (%s)" % said)

    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
