#!/bin/sh
# sign-exe.sh IN OUT [CERT KEY [TIMESTAMP_URL [DESCRIPTION [SUBJECT [THROWAWAY_DIR]]]]]
#
# Signs the Windows program IN (the installer, or any other program such as a product's setup
# program) with an Authenticode signature (SHA-256) and writes the signed copy to OUT; IN stays as
# built, so it can still be compared with another build of the source. DESCRIPTION is the
# program's name in the signature ("Quorvane Installer" unless given).
# CERT and KEY are PEM files (the certificate may be followed by its chain). With no CERT, a
# throwaway self-signed code-signing certificate for the name SUBJECT ("Quorvane throwaway test
# signing" unless given) is made in THROWAWAY_DIR (OUT's folder unless given), in
# throwaway-cert.pem and throwaway-key.pem, and reused until it expires or another name is wanted:
# Windows trusts nothing signed with it, but the step can be tried and checked (Wine does not
# check the root). With TIMESTAMP_URL (an RFC 3161 time-stamp server), the signature is
# time-stamped, so it stays valid after the certificate expires; empty means none, since a
# time-stamp needs the network. Prints whom the copy is signed by, and says so when it replaces an
# earlier signed copy. It signs first and adds the time stamp to the signed copy as a second step,
# so that a certificate or key that can't be used and a time-stamp server that can't be reached
# each get their own message; either way nothing is left at OUT.
set -eu
[ $# -ge 2 ] || {
  echo "usage: sign-exe.sh IN OUT [CERT KEY [TIMESTAMP_URL [DESCRIPTION [SUBJECT [DIR]]]]]" >&2
  exit 2
}
in=$1
out=$2
cert=${3:-}
key=${4:-}
timestamp_url=${5:-}
description=${6:-Quorvane Installer}
subject=${7:-Quorvane throwaway test signing}
throwaway_dir=${8:-$(dirname "$out")}
tools=$(dirname "$0")
signer() { python3 "$tools/publish-release" --signer "$1"; }
[ -f "$in" ] || { echo "sign-exe.sh: there is no file $in to sign" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

if [ -z "$cert" ]; then
  mkdir -p "$throwaway_dir"
  cert="$throwaway_dir/throwaway-cert.pem"
  key="$throwaway_dir/throwaway-key.pem"
  named="$throwaway_dir/throwaway-name.txt"
  had=$(cat "$named" 2>/dev/null || true)
  if [ ! -s "$key" ] || [ "$had" != "$subject" ] ||
    ! openssl x509 -in "$cert" -noout -checkend 3600 >/dev/null 2>&1; then
    # "/", "+", "=" and "\" are separators in openssl's -subj unless escaped.
    escaped=$(printf '%s' "$subject" | sed 's/[\\/+=]/\\&/g')
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -utf8 \
      -subj "/CN=$escaped" \
      -addext "basicConstraints=critical,CA:FALSE" \
      -addext "keyUsage=critical,digitalSignature" \
      -addext "extendedKeyUsage=codeSigning" \
      -keyout "$key" -out "$cert" 2>/dev/null
    printf '%s' "$subject" >"$named"
    echo "made a throwaway self-signed certificate for \"$subject\": $cert${had:+ (it replaces \
the one for \"$had\")}"
  fi
fi
[ -n "$key" ] || { echo "sign-exe.sh: a certificate needs its key (SIGN_KEY)" >&2; exit 2; }

if [ -e "$out" ]; then
  echo "replacing the earlier signed copy $out (signed by \"$(signer "$out" || true)\")"
  rm -f "$out"
fi
said=$(mktemp)
unstamped="$out.unstamped"
trap 'rm -f "$said" "$unstamped"' EXIT
# osslsigncode's own lines without OpenSSL's queue of errors ("4030...:error:..."), which names
# every decoder it tried and reads as if the key were at fault whatever failed.
own_lines() { grep -v -e '^[0-9A-F]*:error:' -e '^[[:space:]]*$' "$said" | head -n "$1" | paste -sd ' ' - | tr -s ' '; }
if ! osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "$description" \
  -in "$in" -out "$unstamped" >"$said" 2>&1; then
  echo "sign-exe.sh: nothing was signed: osslsigncode could not sign with the certificate $cert" \
    "and the key $key ($(own_lines 2)). The certificate must be PEM, followed by its chain, and" \
    "the key its PEM private key without a password." >&2
  exit 1
fi
if [ -n "$timestamp_url" ]; then
  if ! osslsigncode add -ts "$timestamp_url" -in "$unstamped" -out "$out" >"$said" 2>&1; then
    rm -f "$out"
    why=$(grep -m1 -e 'HTTP failure' "$said" || echo "RFC 3161 time-stamping failed")
    echo "sign-exe.sh: the time-stamp server $timestamp_url could not be reached or gave no" \
      "time stamp ($why), so nothing was signed; the certificate and key are fine. Try again" \
      "later, or sign without a time stamp by leaving SIGN_TIMESTAMP_URL empty (that signature" \
      "stops being valid when the certificate expires)." >&2
    exit 1
  fi
else
  mv "$unstamped" "$out"
fi
echo "signed by \"$(signer "$out")\": $out"
