#!/bin/sh
# sign-exe.sh IN OUT [CERT KEY [TIMESTAMP_URL [DESCRIPTION]]]
#
# Signs the Windows program IN (the installer, or any other program such as a product's setup
# program) with an Authenticode signature (SHA-256) and writes the signed copy to OUT; IN stays as
# built, so it can still be compared with another build of the source. DESCRIPTION is the
# program's name in the signature ("Quorvane Installer" unless given).
# CERT and KEY are PEM files (the certificate may be followed by its chain). With no CERT, a
# throwaway self-signed code-signing certificate is made beside OUT, in throwaway-cert.pem and
# throwaway-key.pem, and reused until it expires: Windows trusts nothing signed with it, but the
# step can be tried and checked. With TIMESTAMP_URL (an RFC 3161 time-stamp server), the signature is
# time-stamped, so it stays valid after the certificate expires; empty means none, since a
# time-stamp needs the network.
set -eu
[ $# -ge 2 ] || {
  echo "usage: sign-exe.sh IN OUT [CERT KEY [TIMESTAMP_URL [DESCRIPTION]]]" >&2
  exit 2
}
in=$1
out=$2
cert=${3:-}
key=${4:-}
timestamp_url=${5:-}
description=${6:-Quorvane Installer}
dir=$(dirname "$out")
mkdir -p "$dir"

if [ -z "$cert" ]; then
  cert="$dir/throwaway-cert.pem"
  key="$dir/throwaway-key.pem"
  if [ ! -s "$key" ] || ! openssl x509 -in "$cert" -noout -checkend 3600 >/dev/null 2>&1; then
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 \
      -subj "/CN=Quorvane throwaway test signing" \
      -addext "basicConstraints=critical,CA:FALSE" \
      -addext "keyUsage=critical,digitalSignature" \
      -addext "extendedKeyUsage=codeSigning" \
      -keyout "$key" -out "$cert" 2>/dev/null
    echo "made a throwaway self-signed certificate: $cert"
  fi
fi
[ -n "$key" ] || { echo "sign-exe.sh: a certificate needs its key" >&2; exit 2; }

set -- -certs "$cert" -key "$key" -h sha256 -n "$description"
[ -z "$timestamp_url" ] || set -- "$@" -ts "$timestamp_url"
rm -f "$out"
osslsigncode sign "$@" -in "$in" -out "$out" >/dev/null
echo "signed: $out"
