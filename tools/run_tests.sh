#!/usr/bin/env bash
# Sets everything up and runs every test under Wine, on a virtual display, on
# both stand-ins: the whole suite in a 64-bit prefix (64-bit Windows, where
# the updater runs as a 32-bit program), then the win32-labelled tests in a
# 32-bit prefix (32-bit Windows). Arguments go to both ctest runs (for
# example -R startup).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

if [ "${PATCH_IN_XVFB:-}" != 1 ]; then
  "$here/tools/setup.sh"
  PATCH_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

source "$here/tools/wine-env.sh"
cd "$here/build"
status=0
run_on() {  # <arch> <label> <ctest label options...>
  local arch="$1" label="$2"; shift 2
  local started=$SECONDS
  echo "== $label: Wine prefix $arch"
  wine_prefix_init "$here/build/wine-tests-$arch" "$arch"
  wine_unmanaged_windows
  ctest --output-on-failure "$@" || status=1
  # The fault suite's count of scenarios, faults and lost files.
  grep -a -h '^fault suite:' Testing/Temporary/LastTest.log 2>/dev/null | tr -d '\r' | sed "s/^/$label: /" || true
  wine_prefix_stop
  echo "== $label: $((SECONDS - started)) s"
}
trap wine_prefix_stop EXIT
run_on win64 "64-bit Windows" -LE win32 "$@"
run_on win32 "32-bit Windows" -L win32 "$@"
exit $status
