#!/bin/sh
# Installs the Debian packages that the build and the tests need, only those that are missing.
set -eu
packages="cmake make g++ python3 googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool
imagemagick curl fonts-wine fonts-liberation fonts-dejavu-core clang libclang-rt-14-dev nginx-light
openssl osslsigncode ca-certificates nsis"
missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
