#!/usr/bin/env bash
# Sets everything up and runs every test under Wine, on a virtual display.
# Arguments are passed to ctest (for example -R startup).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

if [ "${PATCH_IN_XVFB:-}" != 1 ]; then
  "$here/tools/setup.sh"
  PATCH_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

source "$here/tools/wine-env.sh"
wine_prefix_init "$here/build/wine-tests"
wine_unmanaged_windows
trap wine_prefix_stop EXIT
cd "$here/build"
status=0
ctest --output-on-failure "$@" || status=$?
# The fault suite's count of scenarios, faults and lost files, as its last word.
grep -a -h '^fault suite:' Testing/Temporary/LastTest.log 2>/dev/null | tr -d '\r' || true
exit $status
