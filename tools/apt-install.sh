# Sourced by the set-up scripts (as root): apt_install [apt-get options] PACKAGE...
# Refreshes the package lists and installs. A mirror caught mid-sync can serve
# one index that no longer matches its release file (seen here: the security
# archive's i386 list); apt then drops that index, and the i386 half of a
# library can no longer match the amd64 half whose candidate was a security
# update. In that case the security archive is taken only where nothing else
# has the package, so both halves come from the same, consistent archive.
apt_install() {
  export DEBIAN_FRONTEND=noninteractive
  local update=(apt-get update -qq -o Acquire::Retries=3) prefs="" status=0
  if ! "${update[@]}" && ! { sleep 15; "${update[@]}"; }; then
    echo "warning: a package index failed to download; security updates are used only where needed" >&2
    prefs=$(mktemp)
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' > "$prefs"
  fi
  apt-get install -y -qq --no-install-recommends ${prefs:+-o "Dir::Etc::Preferences=$prefs"} "$@" >/dev/null ||
    status=$?
  [ -z "$prefs" ] || rm -f "$prefs"
  return $status
}
