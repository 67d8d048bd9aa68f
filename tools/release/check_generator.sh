#!/usr/bin/env bash
# The release generator against the committed release: --check passes, and
# --pack on the release's own files asks for no change, while one file grown
# by a byte makes it print exactly that file's catalogue row as it must read
# and exit 2, so a release engineer cannot miss a size to change.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
gen="$here/tools/release/make_release.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

python3 "$gen" --check >/dev/null || fail "--check on the committed release"
python3 - "$here/resources/payloads" "$work" <<'PY'
import glob, os, sys, zlib
for f in glob.glob(os.path.join(sys.argv[1], "*.gz")):
    with open(f, "rb") as src, open(os.path.join(sys.argv[2], os.path.basename(f)[:-3]), "wb") as dst:
        dst.write(zlib.decompress(src.read()))
PY

status=0; out=$(python3 "$gen" --pack "$work" 2>&1) || status=$?
[ "$status" = 0 ] || fail "--pack on the release's own files exited $status"$'\n'"$out"
grep -q 'no row must change' <<<"$out" || fail "--pack did not say that no row must change"

printf 'x' >>"$work/3005"
status=0; out=$(python3 "$gen" --pack "$work" 2>&1) || status=$?
[ "$status" = 2 ] || fail "--pack with a changed file exited $status, not 2"
old=$(grep -F ', 3005, ' "$here/payload/catalogue.cpp")
raw=$(awk -F', ' '{print $4}' <<<"$old")
changes=$(grep -c '^+' <<<"$out" || true)
[ "$changes" = 1 ] || fail "--pack printed $changes rows to change, not 1"$'\n'"$out"
new=$(grep '^+' <<<"$out" | cut -c2-)
new_raw=$(awk -F', ' '{print $4}' <<<"$new")
[ "$new_raw" = $((raw + 1)) ] || fail "row to change gives inflated size $new_raw, not $((raw + 1)): $new"
[ "$(grep -F -- "-$old" <<<"$out")" != "" ] || fail "--pack did not show the row as it reads now"
[ "${new%%, 3005,*}" = "${old%%, 3005,*}" ] || fail "--pack changed the row's target: $new"
echo "generator: --check OK, --pack asks for no change on the release and for 1 row after a change ($old -> $new)"
