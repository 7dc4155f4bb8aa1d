#!/bin/sh
# small-volume.sh mount|unmount DIR
#
# A 4 MiB volume for the tests that need a nearly full disk. Mounting needs root; without it the
# folder stays an ordinary folder and those tests skip themselves.
set -u
action=$1
dir=$2
case "$action" in
  mount)
    mkdir -p "$dir"
    if ! mountpoint -q "$dir" && [ "$(id -u)" = 0 ]; then
      mount -t tmpfs -o size=4m tmpfs "$dir" 2>/dev/null || true
    fi
    ;;
  unmount)
    if mountpoint -q "$dir"; then umount "$dir" || true; fi
    ;;
  *)
    echo "usage: small-volume.sh mount|unmount DIR" >&2
    exit 2
    ;;
esac
exit 0
