#!/usr/bin/env bash
# From a folder of the release's uncompressed files to the finished updater:
#
#   tools/release/build_release.sh FILES_DIR [--sign PFX] [--timestamp URL] [--no-tests]
#
#  1. checks the signing material (when signing) and the files: every payload
#     has its file, no file is left over, each fits its kind; any problem
#     stops it before it writes anything;
#  2. writes the payloads, the catalogue's sizes and the identical groups
#     (tools/release/make_release.py --apply);
#  3. builds the updater in build/ and runs tools/run_tests.sh (not with
#     --no-tests);
#  4. signs a copy with Authenticode (SHA-256) with the PFX, whose password is
#     read from RELEASE_PFX_PASSWORD, timestamped by URL if given; verifies the
#     signature and that the signed file is the unsigned build plus the
#     signature, and prints its SHA-256.
#
# The finished executable is build/release/Patch_Veltris5v13.exe (one left
# there by an earlier run is removed first); the last line of output is its
# full path. build/Patch_Veltris5v13.exe stays the unsigned, reproducible
# build.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
name=Patch_Veltris5v13.exe

usage() {
  echo "usage: $0 FILES_DIR [--sign PFX] [--timestamp URL] [--no-tests]" >&2
  echo "  the PFX's password comes from the environment variable RELEASE_PFX_PASSWORD" >&2
  exit 2
}
fail() { echo "build_release: $*" >&2; exit 1; }

files="" pfx="" timestamp="" tests=1
while [ $# -gt 0 ]; do
  case "$1" in
    --sign) [ $# -ge 2 ] || usage; pfx="$2"; shift 2 ;;
    --timestamp) [ $# -ge 2 ] || usage; timestamp="$2"; shift 2 ;;
    --no-tests) tests=0; shift ;;
    -h|--help) usage ;;
    -*) echo "unknown option $1" >&2; usage ;;
    *) [ -z "$files" ] || usage; files="$1"; shift ;;
  esac
done
[ -n "$files" ] || usage

# The updater of an earlier run goes at once, so that a run that stops (bad
# files, failed tests, a signature that fails) leaves none behind that could
# be taken for its own.
out_dir="$here/build/release"
out="$out_dir/$name"
rm -f "$out"

[ -d "$files" ] || fail "$files is not a folder"
files=$(cd "$files" && pwd)
[ -z "$timestamp" ] || [ -n "$pfx" ] || fail "--timestamp needs --sign"

# The password file lives in a private folder and goes on every way out.
work=$(mktemp -d "${TMPDIR:-/tmp}/build-release.XXXXXX")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

for tool in python3 cmake i686-w64-mingw32-g++-posix; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/setup.sh installs it)"
done
if [ -n "$pfx" ]; then
  [ -f "$pfx" ] && [ -r "$pfx" ] || fail "cannot read the PFX $pfx"
  pfx=$(cd "$(dirname "$pfx")" && pwd)/$(basename "$pfx")
  for tool in osslsigncode openssl; do
    command -v "$tool" >/dev/null || fail "$tool is missing (tools/setup.sh installs it)"
  done
  [ -n "${RELEASE_PFX_PASSWORD+set}" ] || fail "set RELEASE_PFX_PASSWORD to the password of $pfx"
  # printf is a shell builtin: the password never appears in a command line.
  (umask 077 && printf '%s' "$RELEASE_PFX_PASSWORD" >"$work/password")
  # Open the PFX now, so that a wrong password or a broken file stops the
  # release before anything in the tree changes. Older PFX files use RC2,
  # which OpenSSL 3 reads only through its legacy provider.
  if ! openssl pkcs12 -in "$pfx" -passin "file:$work/password" -nokeys -clcerts -out "$work/signer.pem" 2>"$work/openssl.log" &&
     ! openssl pkcs12 -legacy -in "$pfx" -passin "file:$work/password" -nokeys -clcerts -out "$work/signer.pem" 2>>"$work/openssl.log"; then
    fail "cannot open $pfx with the password in RELEASE_PFX_PASSWORD: $(head -1 "$work/openssl.log")"
  fi
  grep -q 'BEGIN CERTIFICATE' "$work/signer.pem" || fail "$pfx holds no certificate"
fi

echo "== release files from $files"
python3 "$here/tools/release/make_release.py" --apply "$files" ||
  fail "the release files were not taken (see above)"

echo "== building the updater"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j "$(nproc)" --target Patch_Veltris5v13 >"$work/build.log" 2>&1 ||
  { tail -40 "$work/build.log" >&2; fail "the build failed"; }
unsigned="$here/build/$name"

if [ "$tests" = 1 ]; then
  echo "== tests (tools/run_tests.sh)"
  "$here/tools/run_tests.sh" || fail "the tests failed; the updater was not signed"
fi

mkdir -p "$out_dir"

if [ -z "$pfx" ]; then
  cp "$unsigned" "$out"
  echo "NOT SIGNED: no --sign PFX given; $name is the unsigned build"
else
  echo "== signing with $pfx"
  args=(sign -pkcs12 "$pfx" -readpass "$work/password" -h sha256 -n "${name%.exe}")
  [ -z "$timestamp" ] || args+=(-ts "$timestamp")
  if ! osslsigncode "${args[@]}" -in "$unsigned" -out "$work/$name" >"$work/sign.log" 2>&1; then
    sed 's/^/  /' "$work/sign.log" >&2
    if [ -n "$timestamp" ] && grep -qi 'timestamp' "$work/sign.log"; then
      fail "the timestamp server $timestamp did not give an RFC 3161 timestamp; nothing was signed"
    fi
    fail "osslsigncode could not sign the updater"
  fi

  # A self-signed certificate is its own root; any other must chain to a
  # root of the system's store. Revocation lists are not fetched: the
  # question here is whether this file carries a good signature by this
  # certificate, and this machine may have no network. (osslsigncode fetches
  # them from 2.8 on, which has -ignore-cdp; bookworm's 2.5 never does.)
  verify=(verify -in "$work/$name")
  help=$(osslsigncode -h 2>&1 || true)  # it exits 1 after its help
  if grep -q -- '-ignore-cdp' <<<"$help"; then verify+=(-ignore-cdp); fi
  subject=$(openssl x509 -in "$work/signer.pem" -noout -subject -nameopt RFC2253 | sed 's/^subject=//')
  issuer=$(openssl x509 -in "$work/signer.pem" -noout -issuer -nameopt RFC2253 | sed 's/^issuer=//')
  if [ "$subject" = "$issuer" ]; then
    verify+=(-CAfile "$work/signer.pem")
    echo "self-signed certificate \"$subject\": verifying against the certificate itself"
  fi
  echo "verifying: osslsigncode ${verify[*]}"
  if ! osslsigncode "${verify[@]}" >"$work/verify.log" 2>&1; then
    sed 's/^/  /' "$work/verify.log" >&2
    fail "the signature of the signed updater does not verify"
  fi
  grep -E '^\s*(Signing time|Signature verification|Timestamp)' "$work/verify.log" | sed 's/^\s*/signature: /' || true

  python3 "$here/tools/release/signed_image.py" "$unsigned" "$work/$name" ||
    fail "the signed updater is not the unsigned build plus a signature"
  install -m 755 "$work/$name" "$out"
  echo "SIGNED: Authenticode, SHA-256, certificate \"$subject\"${timestamp:+, timestamped by $timestamp}"
fi
echo "sha256 $(sha256sum "$out" | cut -d' ' -f1)"
echo "$out"
