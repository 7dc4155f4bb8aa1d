#!/bin/sh
# full_disk.sh mount|unmount DIR
#
# A 4 MiB tmpfs at DIR for the full-disk download test. Mounting needs root; when it is not
# possible the marker file is absent and the test skips itself with a message. Never fails the run.
set -u
action=$1
dir=$2
marker="$dir/.tmpfs-4m"

case "$action" in
  mount)
    mkdir -p "$dir"
    if mountpoint -q "$dir"; then
      # Left over from an interrupted run: empty it.
      find "$dir" -mindepth 1 -delete
    else
      rm -f "$marker"
      if ! mount -t tmpfs -o size=4m tmpfs "$dir" 2>/dev/null; then
        echo "could not mount a tmpfs at $dir (needs root): the full-disk test will skip" >&2
        exit 0
      fi
    fi
    : >"$marker"
    ;;
  unmount)
    if mountpoint -q "$dir"; then
      umount "$dir" || umount -l "$dir"
    fi
    ;;
  *)
    echo "usage: full_disk.sh mount|unmount DIR" >&2
    exit 2
    ;;
esac
exit 0
