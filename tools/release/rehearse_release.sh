#!/usr/bin/env bash
# A rehearsal of a release, on a copy of this tree: the sample release's files
# with one program grown and one library replaced by another build, signed
# with a certificate made here. build_release.sh must refuse broken folders
# and signing material without touching the tree, fail on a timestamp server
# that does not answer, on a signature that does not verify and on a signed
# file that is not the unsigned build; it must then make a signed updater
# whose catalogue changed in exactly the two files' rows, and that updater,
# run under Wine, must install the new files into a demo installation.
# Last, a release whose tests fail must stop unsigned and leave no updater.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
# The updater runs on a display: a virtual one unless there is one already
# (as there is under tools/run_tests.sh).
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

started=$SECONDS
work=$(mktemp -d /tmp/release-rehearsal.XXXXXX)
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ "$WINEPREFIX" = "$work/wine" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
step() { echo "== $* ($((SECONDS - started)) s)"; }

# The tree as it is, committed in the copy so that git tells what changed.
step "copy of the tree"
src="$work/src"
mkdir -p "$src"
tar -C "$here" --exclude='./build*' --exclude='./.git' --exclude='__pycache__' -cf - . | tar -C "$src" -xf -
git -C "$src" init -q
git -C "$src" add -A
git -C "$src" -c user.name=rehearsal -c user.email=rehearsal@localhost commit -qm "before the release"
tree_changes() { git -C "$src" status --porcelain --untracked-files=all; }
# The command keeps the PFX's password in a private temporary folder, which
# must be gone after every run, whichever way it ended.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
build_release() { "$src/tools/release/build_release.sh" "$@"; }
no_leftovers() {
  ! compgen -G "$TMPDIR/build-release.*" >/dev/null ||
    fail "$1: build_release.sh left its private folder behind: $(ls -d "$TMPDIR"/build-release.*)"
}

# The release: the sample's files inflated from its payloads, named by id,
# then quorra.exe grown by a block at its end and ravdb.dll replaced by a
# build of the stub library that answers another version.
step "release files"
files="$work/files"
mkdir -p "$files"
python3 - "$here/resources/payloads" "$files" <<'PY'
import glob, os, sys, zlib
for f in glob.glob(os.path.join(sys.argv[1], "*.gz")):
    with open(f, "rb") as src, open(os.path.join(sys.argv[2], os.path.basename(f)[:-3]), "wb") as dst:
        dst.write(zlib.decompress(src.read()))
PY
mv "$files/3005" "$files/3005.exe"
printf 'rehearsal: quorra.exe of the next release\r\n%.0s' {1..40} >>"$files/3005.exe"
rm "$files/3009"
i686-w64-mingw32-gcc-posix -Os -s -shared -nostdlib -Wl,-e,_DllMain@12 -Wl,--no-insert-timestamp \
  '-DRELEASE_VERSION="1.6.09"' -o "$files/ravdb.dll" "$here/tools/release/stublib.c"

# Throwaway signing material: a self-signed certificate, and one issued by a
# private authority that no store knows.
step "certificates"
export RELEASE_PFX_PASSWORD="rehearsal $$ password"
cert() {  # <name> <openssl req options...>
  local name="$1"; shift
  openssl req -newkey rsa:2048 -nodes -keyout "$work/$name.key" -days 2 \
    -subj "/CN=Release rehearsal $name" -addext extendedKeyUsage=codeSigning "$@" >/dev/null 2>&1
}
cert self -x509 -out "$work/self.pem"
openssl pkcs12 -export -in "$work/self.pem" -inkey "$work/self.key" -out "$work/self.pfx" -passout env:RELEASE_PFX_PASSWORD
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
  -subj "/CN=Release rehearsal private authority" >/dev/null 2>&1
cert issued -out "$work/issued.csr"
openssl x509 -req -in "$work/issued.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 2 \
  -copy_extensions copy -out "$work/issued.pem" >/dev/null 2>&1
openssl pkcs12 -export -in "$work/issued.pem" -inkey "$work/issued.key" -out "$work/issued.pfx" \
  -passout env:RELEASE_PFX_PASSWORD

# Each of these stops the command before it writes anything: the tree stays
# exactly as committed.
step "refusals"
refuse() {  # <case> <expected message> <folder> [build_release options]
  local what="$1" message="$2" folder="$3" out status=0; shift 3
  out=$(build_release "$folder" --no-tests "$@" 2>&1) || status=$?
  [ "$status" != 0 ] || fail "$what: the command succeeded"$'\n'"$out"
  no_leftovers "$what"
  grep -qF -- "$message" <<<"$out" || fail "$what: no message \"$message\""$'\n'"$out"
  [ -z "$(tree_changes)" ] || fail "$what: the tree changed"$'\n'"$(tree_changes)"
  echo "refused ($what): $(grep -F -- "$message" <<<"$out" | head -1)"
}
broken() { rm -rf "$work/broken"; cp -a "$files" "$work/broken"; echo "$work/broken"; }
folder=$(broken); rm "$folder/3010"
refuse "a file missing" "3010: no file for nimbodbc.dll" "$folder" --sign "$work/self.pfx"
folder=$(broken); printf 'notes\r\n' >"$folder/LEIAME.txt"
refuse "an unknown file" "LEIAME.txt fits no payload" "$folder" --sign "$work/self.pfx"
folder=$(broken); printf 'not a library\r\n' >"$folder/ravdb.dll"
refuse "a library that is no PE32 DLL" "ravdb.dll must be a PE32 x86 DLL" "$folder" --sign "$work/self.pfx"
RELEASE_PFX_PASSWORD=wrong refuse "a wrong PFX password" "cannot open $work/self.pfx" "$files" --sign "$work/self.pfx"
(unset RELEASE_PFX_PASSWORD; refuse "no PFX password" "set RELEASE_PFX_PASSWORD" "$files" --sign "$work/self.pfx")

# These get past the checks (the first run builds the updater) and must fail
# later, leaving no finished executable.
finished="$src/build/release/Patch_Veltris5v13.exe"
signing_fails() {  # <case> <expected message> [build_release options]
  local what="$1" message="$2" out status=0; shift 2
  out=$(build_release "$files" "$@" 2>&1) || status=$?
  [ "$status" != 0 ] || fail "$what: the command succeeded"$'\n'"$out"
  no_leftovers "$what"
  grep -qF -- "$message" <<<"$out" || fail "$what: no message \"$message\""$'\n'"$out"
  [ ! -e "$finished" ] || fail "$what: a finished executable was left at $finished"
  echo "failed as it must ($what): $(grep -F -- "$message" <<<"$out" | head -1)"
}
step "signing failures (the first builds the updater)"
signing_fails "a timestamp server that does not answer" "the timestamp server http://127.0.0.1:9/ did not give" \
  --no-tests --sign "$work/self.pfx" --timestamp http://127.0.0.1:9/
signing_fails "a certificate no trusted root vouches for" "does not verify" --no-tests --sign "$work/issued.pfx"
# An osslsigncode that signs a file other than the build it is given: the
# signature is good, the file is not the unsigned build.
mkdir -p "$work/shim"
cat >"$work/shim/osslsigncode" <<EOF
#!/usr/bin/env bash
if [ "\$1" = sign ]; then
  args=("\$@")
  for i in "\${!args[@]}"; do
    if [ "\${args[\$i]}" = -in ]; then
      cp "\${args[\$((i + 1))]}" "$work/shim/other.exe"
      printf '\\xff' | dd of="$work/shim/other.exe" bs=1 seek=3000000 conv=notrunc status=none
      args[\$((i + 1))]="$work/shim/other.exe"
    fi
  done
  exec "$(command -v osslsigncode)" "\${args[@]}"
fi
exec "$(command -v osslsigncode)" "\$@"
EOF
chmod +x "$work/shim/osslsigncode"
PATH="$work/shim:$PATH" signing_fails "a signed file that is not the build" \
  "the signed updater is not the unsigned build plus a signature" --no-tests --sign "$work/self.pfx"

step "the release"
# osslsigncode and openssl as they are, but each records its command line:
# the password must reach them through a private file only.
mkdir -p "$work/record"
for tool in osslsigncode openssl; do
  cat >"$work/record/$tool" <<EOF
#!/usr/bin/env bash
echo "$tool \$*" >>"$work/argv.log"
prev=
for arg in "\$@"; do
  [ "\$prev" != -readpass ] || echo "password file mode \$(stat -c %a "\$arg")" >>"$work/argv.log"
  prev=\$arg
done
exec "$(command -v $tool)" "\$@"
EOF
  chmod +x "$work/record/$tool"
done
status=0
out=$(PATH="$work/record:$PATH" build_release "$files" --no-tests --sign "$work/self.pfx" 2>&1) || status=$?
[ "$status" = 0 ] || fail "build_release.sh exited $status"$'\n'"$out"
no_leftovers "the release"
grep -q '^osslsigncode sign ' "$work/argv.log" || fail "the command lines were not recorded"
! grep -qF -- "$RELEASE_PFX_PASSWORD" "$work/argv.log" || fail "the password appeared on a command line"
grep -qx 'password file mode 600' "$work/argv.log" || fail "osslsigncode did not read the password from a mode-600 file"$'\n'"$(cat "$work/argv.log")"
last=$(tail -1 <<<"$out")
[ "$last" = "$finished" ] || fail "the last line is \"$last\", not the finished executable's path"
grep -qx "sha256 $(sha256sum "$finished" | cut -d' ' -f1)" <<<"$out" || fail "no line with the signed file's SHA-256"
osslsigncode verify -in "$finished" -CAfile "$work/self.pem" >"$work/verify.log" 2>&1 ||
  fail "the signature does not verify against the rehearsal's certificate"$'\n'"$(cat "$work/verify.log")"
grep -q 'Subject: /CN=Release rehearsal self' "$work/verify.log" || fail "signed by another certificate"
python3 "$src/tools/release/signed_image.py" "$src/build/Patch_Veltris5v13.exe" "$finished" >/dev/null ||
  fail "the signed file is not the unsigned build plus a signature"

# Exactly the two files' rows changed, to their new sizes; the two payloads
# changed; the sample generator's record went, as the release is no longer
# the sample.
expected=" M payload/catalogue.cpp
 M resources/payloads/3005.gz
 M resources/payloads/3009.gz
 D tools/release/tuning.json"
[ "$(tree_changes)" = "$expected" ] || fail "the tree changed in other files:"$'\n'"$(tree_changes)"
git -C "$src" diff -U0 payload/catalogue.cpp >"$work/catalogue.diff"
python3 - "$work/catalogue.diff" "$files/3005.exe" "$files/ravdb.dll" <<'PY' || fail "the catalogue's rows changed otherwise"$'\n'"$(cat "$work/catalogue.diff")"
import re, sys, zlib
diff = open(sys.argv[1]).read().splitlines()
row = re.compile(r'^([-+])\s*\{InstallStep::(\w+), "([^"]*)", (\d+), (\d+), (\d+)\},$')
changed = {"-": {}, "+": {}}
for line in diff:
    if line.startswith(("---", "+++")) or not line.startswith(("-", "+")):
        continue
    m = row.match(line)
    assert m, "not a catalogue row: %r" % line
    changed[m.group(1)][int(m.group(4))] = (m.group(2), m.group(3), int(m.group(5)), int(m.group(6)))
assert set(changed["-"]) == set(changed["+"]) == {3005, 3009}, changed
for pid, path in ((3005, sys.argv[2]), (3009, sys.argv[3])):
    data = open(path, "rb").read()
    step, target, raw, stored = changed["+"][pid]
    assert (step, target) == changed["-"][pid][:2], (pid, step, target)
    assert (raw, stored) == (len(data), len(zlib.compress(data, 9))), (pid, raw, stored)
    print("catalogue row %d (%s): %d/%d -> %d/%d bytes" % ((pid, target) + changed["-"][pid][2:] + (raw, stored)))
PY

# The tree now carries a real release: the generator checks it as one, and
# its default mode, which makes sample data, refuses to overwrite it.
gen="$src/tools/release/make_release.py"
out=$(python3 "$gen" --check 2>&1) || fail "--check on the applied release failed"$'\n'"$out"
grep -q 'checking the payloads as a real release' <<<"$out" || fail "--check did not check a real release"$'\n'"$out"
status=0; out=$(python3 "$gen" 2>&1) || status=$?
[ "$status" = 1 ] && grep -q 'use --force' <<<"$out" || fail "the sample generator did not refuse a real release"$'\n'"$out"
[ "$(tree_changes)" = "$expected" ] || fail "the refused generator changed the tree:"$'\n'"$(tree_changes)"

# The signed updater on a demo installation at 1.6.05, as tools/run_demo.sh
# runs it, in a Wine prefix of its own.
step "the signed updater on a demo installation"
cmake --build "$src/build" -j 2 --target demo_install demo_drive >"$work/demo-build.log" 2>&1 ||
  fail "building the demo tools failed"$'\n'"$(tail -30 "$work/demo-build.log")"
source "$src/tools/wine-env.sh"
wine_prefix_init "$work/wine"
wine_unmanaged_windows
wine "$src/build/tools/demo/demo_install.exe" create 'C:\VELTRIS5' || fail "no demo installation"
mkdir -p "$work/shots"
wine "$src/build/tests/e2e/demo_drive.exe" "$(winepath -w "$finished")" "$(winepath -w "$work/shots")" \
  >"$work/drive.log" 2>&1 || fail "the signed updater's run failed"$'\n'"$(cat "$work/drive.log")"
grep -a 'the update reported success' "$work/drive.log" >/dev/null || fail "no report of success"$'\n'"$(cat "$work/drive.log")"
wine "$src/build/tools/demo/demo_install.exe" verify 'C:\VELTRIS5' >"$work/verify-demo.log" 2>&1 ||
  fail "the installation is not the new release"$'\n'"$(cat "$work/verify-demo.log")"
installed="$work/wine/drive_c/VELTRIS5/Profissional"
cmp "$files/3005.exe" "$installed/quorra.exe" || fail "quorra.exe on disk is not the grown file"
cmp "$files/ravdb.dll" "$installed/ravdb.dll" || fail "ravdb.dll on disk is not the replaced library"
echo "installed: $(tr -d '\r' <"$work/verify-demo.log" | tail -1); quorra.exe ($(stat -c %s "$installed/quorra.exe") bytes) and ravdb.dll ($(stat -c %s "$installed/ravdb.dll") bytes) are the new files"

# Tests that fail stop the release before signing, and the signed updater
# made above goes at the start, so it cannot be taken for this release. The
# copy's tools/run_tests.sh is a stand-in that records its run and fails.
step "a release whose tests fail"
[ -e "$finished" ] || fail "no signed updater left by the release above"
printf '#!/usr/bin/env bash\ntouch "%s"\nexit 1\n' "$work/tests-ran" >"$src/tools/run_tests.sh"
signing_fails "tests that fail" "the tests failed; the updater was not signed" --sign "$work/self.pfx"
[ -e "$work/tests-ran" ] || fail "the release did not run tools/run_tests.sh"
echo "release rehearsal: OK in $((SECONDS - started)) s"
