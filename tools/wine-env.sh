# Sourced by the scripts: a private Wine prefix per use, created on first use.
# Usage: source tools/wine-env.sh; wine_prefix_init <prefix-dir> [win64|win32]
# A win64 prefix (the default) stands in for 64-bit Windows, where our 32-bit
# programs run under WOW64 and see the 32-bit registry view; a win32 prefix
# stands in for 32-bit Windows.
wine_prefix_init() {
  local arch="${2:-win64}"
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset WINEARCH
  if [ -f "$WINEPREFIX/system.reg" ]; then
    # A prefix of the other kind, or a 64-bit one made before wine32 was
    # installed (it has no 32-bit system and cannot start our programs),
    # is made anew.
    if ! grep -q "^#arch=$arch" "$WINEPREFIX/system.reg" ||
       { [ "$arch" = win64 ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; }; then
      wineserver -k >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
    fi
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    WINEARCH="$arch" wineboot -i >/dev/null 2>&1
  fi
  # Keep the server up between programs: each start is then much faster.
  wineserver -p >/dev/null 2>&1 || true
  # Start Wine's own background processes now, detached from our output:
  # started by the first test program instead, they would hold its output
  # pipe open and ctest would wait for them.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}
wine_prefix_stop() { wineserver -k >/dev/null 2>&1 || true; }
# Xvfb has no window manager: with managed windows Wine waits up to two
# seconds for each hidden or destroyed window to be withdrawn. Headless runs
# therefore let Wine place its windows itself.
wine_unmanaged_windows() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}
