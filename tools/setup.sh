#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (as root),
# then configures and builds into build/. Safe to run again: it installs only
# what is missing and rebuilds only what changed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

# The updater and everything built with it are 32-bit Windows programs: the
# i686 compilers build them and wine32 runs them (in a 64-bit prefix, as on
# 64-bit Windows, and in a win32 one).
packages=(wine wine64 wine32:i386 g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest cmake make python3
          xvfb xauth imagemagick x11-apps x11-utils osslsigncode openssl)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  source "$here/tools/apt-install.sh"
  apt_install "${missing[@]}"
fi

# Some virtual machines run 64-bit user code only: there the kernel refuses
# to start a 32-bit Linux program (Wine's 32-bit loader among them) with
# "Exec format error". Such a machine runs it through QEMU's user-mode
# emulator, registered for 32-bit x86 programs. QEMU 7.2, bookworm's own,
# takes about a minute to start one Wine process; the backported 10.0 takes
# a quarter of a second.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  "$here/tools/i386-emulation.sh"
fi

cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j "$(nproc)"
