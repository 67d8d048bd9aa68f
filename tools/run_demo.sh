#!/usr/bin/env bash
# Sets everything up and runs the updater on a demo installation of VELTRIS 5
# at 1.6.05, in a private Wine prefix (build/wine-demo). With a display the
# updater opens on it; without one it runs under Xvfb and the screenshots are
# written to build/demo/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out="$here/build/demo"

if [ "${PATCH_IN_XVFB:-}" != 1 ]; then
  "$here/tools/setup.sh" >/dev/null
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    PATCH_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
  fi
fi

source "$here/tools/wine-env.sh"
wine_prefix_init "$here/build/wine-demo"
trap wine_prefix_stop EXIT
mkdir -p "$out"

# A fresh installation each time: the registry records and the product files.
root_unix="$WINEPREFIX/drive_c/VELTRIS5"
rm -rf "$root_unix"
for view in 32 64; do wine reg delete 'HKLM\Software\Veltris5' /f /reg:$view >/dev/null 2>&1 || true; done
wine "$here/build/tools/demo/demo_install.exe" create 'C:\VELTRIS5'

updater="$here/build/Patch_Veltris5v13.exe"
if [ "${PATCH_IN_XVFB:-}" = 1 ]; then
  wine_unmanaged_windows
  driver="$here/build/tests/e2e/demo_drive.exe"
  if [ -x "$driver" ]; then
    # Leaves the ticks as the updater sets them, presses "Actualizar",
    # answers the boxes and takes the screenshots a person would see.
    rm -f "$out"/*.png "$out"/*.bmp
    wine "$driver" "$(winepath -w "$updater")" "$(winepath -w "$out")" || echo "the demo run reported a failure" >&2
    for shot in "$out"/*.bmp; do
      [ -e "$shot" ] && convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
    done
  else
    wine "$updater" &
    sleep 4
    xwd -root -silent | convert xwd:- "$out/main-dialog.png"
    wineserver -k
  fi
  for shot in "$out"/*.png; do echo "screenshot: $shot"; done
else
  echo "The updater is open on your display."
  wine "$updater"
fi
wine "$here/build/tools/demo/demo_install.exe" verify 'C:\VELTRIS5' || true
# The records stand where the product's 32-bit installer keeps them: in the
# registry view of 32-bit programs (natively SOFTWARE\Wow6432Node on 64-bit
# Windows), and nothing in the 64-bit view.
echo "The installation's records, in the 32-bit registry view:"
wine reg query 'HKLM\Software\Veltris5' /s /reg:32 | tr -d '\r' | grep -v '^$' || true
if wine reg query 'HKLM\Software\Veltris5' /reg:64 >/dev/null 2>&1; then
  echo "unexpected: HKLM\Software\Veltris5 exists in the 64-bit view" >&2
else
  echo "(nothing under HKLM\Software\Veltris5 in the 64-bit view)"
fi
