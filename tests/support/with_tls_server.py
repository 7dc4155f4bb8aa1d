#!/usr/bin/env python3
"""Runs a command with HTTPS servers up: with_tls_server.py --root DIR --state DIR -- COMMAND...

Makes a private certificate authority and certificates with openssl, trusts that authority in the
Wine prefix named by WINEPREFIX (never on this machine), and runs nginx on 127.0.0.1 serving DIR,
one port per certificate. The command sees, in its environment (Wine passes them on):

  QV_TEST_TLS_SERVER      https://localhost:PORT/  a certificate for localhost from the trusted CA
  QV_TEST_TLS_OTHER_HOST  a certificate from the trusted CA for another host name
  QV_TEST_TLS_EXPIRED     a certificate for localhost from the trusted CA that expired in 2020
  QV_TEST_TLS_UNTRUSTED   a certificate for localhost from a second CA that nobody trusts
  QV_TEST_TLS_LOG         nginx's access log as a Windows path, one line per request:
                          port<TAB>request URI<TAB>Range header<TAB>status<TAB>body bytes sent

Everything (keys, certificates, nginx's configuration, logs, pid and temporary files) lives under
the state folder and is made afresh each run, except the trusted authority, which is kept so that
the prefix holds a single entry for it. nginx is stopped when the command ends; the command's exit
code is kept.
"""

import grp
import hashlib
import os
import pwd
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import time

# Servers in the order of the variables above: (variable, certificate file).
SERVERS = [
    ("QV_TEST_TLS_SERVER", "localhost.pem"),
    ("QV_TEST_TLS_OTHER_HOST", "other-host.pem"),
    ("QV_TEST_TLS_EXPIRED", "expired.pem"),
    ("QV_TEST_TLS_UNTRUSTED", "untrusted.pem"),
]

# Where Wine's crypt32 (like Windows) keeps the machine's trusted roots, one key per certificate
# named by its SHA-1 thumbprint.
ROOT_STORE = r"HKEY_LOCAL_MACHINE\Software\Microsoft\SystemCertificates\Root\Certificates"

OPENSSL_CONFIG = """\
[ca]
default_ca = local
[local]
database = index.txt
new_certs_dir = issued
serial = serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
[req]
distinguished_name = empty
[empty]
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = $ENV::QV_SAN
"""


def openssl(state, *args, san="DNS:localhost"):
    # EC keys: made in milliseconds, where RSA keys take a good part of a second each.
    subprocess.run(["openssl", *args], cwd=state, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, env=dict(os.environ, QV_SAN=san,
                                                    OPENSSL_CONF="openssl.cnf"))


def make_certificates(state):
    with open(os.path.join(state, "openssl.cnf"), "w") as f:
        f.write(OPENSSL_CONFIG)
    os.makedirs(os.path.join(state, "issued"))
    open(os.path.join(state, "index.txt"), "w").close()
    with open(os.path.join(state, "serial"), "w") as f:
        f.write("01\n")
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"]

    def authority(name, subject):
        openssl(state, "req", "-x509", *ec, "-keyout", f"{name}.key", "-out", f"{name}.pem",
                "-subj", f"/CN={subject}", "-days", "3650", "-extensions", "authority")

    # The trusted authority is made once per build folder, so that the prefix holds one entry.
    kept = [os.path.join(state, "authority", name) for name in ("ca.pem", "ca.key")]
    if not all(os.path.exists(path) for path in kept):
        os.makedirs(os.path.join(state, "authority"), exist_ok=True)
        authority("authority/ca", "Quorvane Test Authority")
    authority("untrusted-ca", "Quorvane Untrusted Authority")
    openssl(state, "req", "-new", *ec, "-keyout", "server.key", "-out", "server.csr", "-subj",
            "/CN=localhost")

    def issue(out, authority, san, *dates):
        openssl(state, "ca", "-batch", "-notext", "-config", "openssl.cnf", "-cert",
                f"{authority}.pem", "-keyfile", f"{authority}.key", "-extensions", "server",
                *dates, "-in", "server.csr", "-out", out, san=san)

    issue("localhost.pem", "authority/ca", "DNS:localhost", "-days", "3650")
    issue("other-host.pem", "authority/ca", "DNS:releases.quorvane.example", "-days", "3650")
    issue("expired.pem", "authority/ca", "DNS:localhost", "-startdate", "20200101000000Z",
          "-enddate", "20200201000000Z")
    issue("untrusted.pem", "untrusted-ca", "DNS:localhost", "-days", "3650")

    # The trusted case must pass only through the prefix: this machine must not know our CA.
    host = subprocess.run(["openssl", "verify", "localhost.pem"], cwd=state,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if host.returncode == 0:
        sys.exit("this machine's trust store accepts the test CA: refusing to run")


def trust_in_prefix(state):
    """Adds the trusted authority to the machine root store of the prefix."""
    if not os.environ.get("WINEPREFIX"):
        sys.exit("WINEPREFIX is not set: run under tools/wine-env.sh")
    with open(os.path.join(state, "authority/ca.pem")) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    thumbprint = hashlib.sha1(der).hexdigest().upper()
    # A serialized certificate: property 32 (the encoded certificate), 1, its length, its bytes.
    blob = struct.pack("<III", 32, 1, len(der)) + der
    lines = ["Windows Registry Editor Version 5.00", "", f"[{ROOT_STORE}\\{thumbprint}]",
             '"Blob"=hex:' + ",".join(f"{b:02x}" for b in blob), ""]
    reg_file = os.path.join(state, "trust.reg")
    with open(reg_file, "w", encoding="utf-16", newline="\r\n") as f:
        f.write("\n".join(lines))
    subprocess.run(["wine", "regedit", "/S", "Z:" + reg_file.replace("/", "\\")], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def free_ports(count):
    sockets = [socket.socket() for _ in range(count)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def nginx_config(state, root, ports):
    def path(name):
        return os.path.join(state, name)

    user = ""
    if os.geteuid() == 0:
        # Workers would otherwise drop to "nobody", who may not read the build folder.
        user = (f"user {pwd.getpwuid(os.geteuid()).pw_name} "
                f"{grp.getgrgid(os.getegid()).gr_name};")
    servers = "".join(
        f"""
  server {{
    listen 127.0.0.1:{port} ssl;
    ssl_certificate {path(cert)};
    ssl_certificate_key {path("server.key")};
    root {root};
  }}"""
        for port, (_, cert) in zip(ports, SERVERS))
    return f"""{user}
worker_processes 1;
pid {path("nginx.pid")};
error_log {path("error.log")};
events {{ worker_connections 64; }}
http {{
  default_type application/octet-stream;
  client_body_temp_path {path("temp/body")};
  proxy_temp_path {path("temp/proxy")};
  fastcgi_temp_path {path("temp/fastcgi")};
  uwsgi_temp_path {path("temp/uwsgi")};
  scgi_temp_path {path("temp/scgi")};
  log_format ranges '$server_port\\t$request_uri\\t$http_range\\t$status\\t$body_bytes_sent';
  access_log {path("access.log")} ranges;{servers}
}}
"""


def wait_until_listening(server, ports, error_log):
    deadline = time.monotonic() + 10
    for port in ports:
        while True:
            if server.poll() is not None:
                with open(error_log) as f:
                    sys.exit("nginx did not start:\n" + f.read())
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                if time.monotonic() > deadline:
                    sys.exit(f"nginx is not listening on {port}")
                time.sleep(0.02)


def main():
    args = sys.argv[1:]
    if "--" not in args or args[:1] != ["--root"] or args[2:3] != ["--state"]:
        sys.exit(__doc__)
    split = args.index("--")
    root, state, command = os.path.abspath(args[1]), os.path.abspath(args[3]), args[split + 1:]
    os.makedirs(state, exist_ok=True)
    for entry in os.scandir(state):
        if entry.name == "authority":
            continue
        if entry.is_dir():
            shutil.rmtree(entry.path)
        else:
            os.remove(entry.path)
    os.makedirs(os.path.join(state, "temp"))
    os.makedirs(root, exist_ok=True)

    make_certificates(state)
    trust_in_prefix(state)
    ports = free_ports(len(SERVERS))
    config = os.path.join(state, "nginx.conf")
    with open(config, "w") as f:
        f.write(nginx_config(state, root, ports))
    error_log = os.path.join(state, "error.log")
    server = subprocess.Popen(
        ["nginx", "-p", state, "-c", config, "-e", error_log, "-g", "daemon off;"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    try:
        wait_until_listening(server, ports, error_log)
        env = dict(os.environ, QV_TEST_TLS_LOG="Z:" + os.path.join(state, "access.log").replace(
            "/", "\\"))
        for port, (variable, _) in zip(ports, SERVERS):
            env[variable] = f"https://localhost:{port}/"
        return subprocess.call(command, env=env)
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())
