#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (as root),
# then configures and builds into build/. Safe to run again: it installs only
# what is missing and rebuilds only what changed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

packages=(wine wine64 g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest cmake make python3 xvfb xauth
          imagemagick x11-apps x11-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j "$(nproc)"
