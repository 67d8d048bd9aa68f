#!/usr/bin/env bash
# A disk nearly full, for the end-to-end test of an update without room: a
# small tmpfs mounted on a folder of the build (ctest mounts it before the
# test and unmounts it after). Mounting needs root; where it is refused, the
# test that needs the disk says so and is skipped.
# Usage: tools/small_disk.sh mount <folder> <megabytes> | unmount <folder>
set -u
case "$1" in
  mount)
    mkdir -p "$2"
    mountpoint -q "$2" || mount -t tmpfs -o size="$3m" tmpfs "$2" 2>/dev/null ||
      echo "small disk: cannot mount a tmpfs on $2 here; the test that needs it is skipped"
    ;;
  unmount)
    if mountpoint -q "$2"; then umount -l "$2"; fi
    rmdir "$2" 2>/dev/null
    ;;
esac
exit 0
