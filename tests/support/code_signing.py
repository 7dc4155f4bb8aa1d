"""Code signing for the tests and benchmarks under Wine: a test authority trusted only in the
prefix named by WINEPREFIX, certificates for a publisher and for somebody else, and osslsigncode."""

import os
import subprocess

import with_tls_server  # trust_in_prefix: an authority into the prefix's machine root store

OPENSSL_CONFIG = """\
[req]
distinguished_name = empty
[empty]
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
"""


def openssl(pki, *args):
    subprocess.run(["openssl", *args], cwd=pki, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, env=dict(os.environ, OPENSSL_CONF="openssl.cnf"))


def make_pki(pki, publisher):
    """A code-signing authority (kept, so that the prefix holds one entry for it) with a
    certificate for the publisher and one for somebody else; a feed key nobody trusts."""
    os.makedirs(os.path.join(pki, "authority"), exist_ok=True)
    with open(os.path.join(pki, "openssl.cnf"), "w") as f:
        f.write(OPENSSL_CONFIG)
    rsa = ["-newkey", "rsa:2048", "-nodes"]
    if not os.path.exists(os.path.join(pki, "authority", "ca.key")):
        openssl(pki, "req", "-x509", *rsa, "-keyout", "authority/ca.key", "-out",
                "authority/ca.pem", "-subj", "/CN=Quorvane Test Code Authority", "-days", "3650",
                "-extensions", "authority")
    for name, subject in (("publisher", publisher), ("other", "Someone Else Ltd")):
        openssl(pki, "req", "-new", *rsa, "-utf8", "-keyout", name + ".key", "-out",
                name + ".csr", "-subj", "/CN=" + subject)
        openssl(pki, "x509", "-req", "-in", name + ".csr", "-CA", "authority/ca.pem", "-CAkey",
                "authority/ca.key", "-CAcreateserial", "-days", "30", "-extfile", "openssl.cnf",
                "-extensions", "signer", "-out", name + ".pem")
    openssl(pki, "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "stranger.pem")
    openssl(pki, "ec", "-in", "stranger.pem", "-pubout", "-out", "stranger.pem.pub")
    with_tls_server.trust_in_prefix(pki)


def sign(pki, who, program, out):
    """Signs `program` into `out` with the certificate `who` ("publisher" or "other")."""
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(["osslsigncode", "sign", "-certs", os.path.join(pki, who + ".pem"), "-key",
                    os.path.join(pki, who + ".key"), "-h", "sha256", "-n", "Quorvane Setup",
                    "-in", program, "-out", out], check=True, stdout=subprocess.DEVNULL)
