#!/usr/bin/env bash
# Lets a machine whose kernel cannot run 32-bit x86 programs run them through
# QEMU's user-mode emulator (as root): installs QEMU 10 from bookworm-backports
# and registers it for 32-bit x86 ELF programs with binfmt_misc. Nothing is
# done where such programs already run.
set -euo pipefail
probe=/usr/lib/wine/wine
"$probe" --version >/dev/null 2>&1 && exit 0

qemu=/usr/bin/qemu-i386-static
if ! "$qemu" --version 2>/dev/null | grep -qE 'version (9|[1-9][0-9])\.'; then
  echo "Installing QEMU 10 (user mode) from bookworm-backports"
  cat > /etc/apt/sources.list.d/patch-backports.sources <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  source "$(dirname "$0")/apt-install.sh"
  apt_install -t bookworm-backports qemu-user-static
fi

misc=/proc/sys/fs/binfmt_misc
[ -f "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc"
# Registered with "F" the interpreter is opened now, so an older one
# registered earlier is replaced.
[ -f "$misc/qemu-i386" ] && echo -1 > "$misc/qemu-i386"
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  > "$misc/register"
"$probe" --version >/dev/null
echo "32-bit x86 programs run through $("$qemu" --version | head -1)"
