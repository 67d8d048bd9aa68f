#!/usr/bin/env bash
# Builds the updater twice from copies of this tree at two different paths and
# checks that the two executables are byte-identical: no timestamp and no
# build path may end up in the image.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/patch-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT

for copy in one second-copy; do
  mkdir -p "$work/$copy/src"
  tar -C "$here" --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$work/$copy/src" -xf -
  cmake -S "$work/$copy/src" -B "$work/$copy/out" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$work/$copy/out" -j "$(nproc)" --target Patch_Veltris5v13 >/dev/null
done

a="$work/one/out/Patch_Veltris5v13.exe"
b="$work/second-copy/out/Patch_Veltris5v13.exe"
if cmp -s "$a" "$b"; then
  echo "reproducible: two builds give the same $(stat -c %s "$a")-byte executable ($(sha256sum "$a" | cut -c1-16))"
else
  echo "NOT reproducible: the two builds differ"
  cmp -l "$a" "$b" | head -20
  exit 1
fi
