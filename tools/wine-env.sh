# Sourced by the scripts: a private Wine prefix per use, created on first use.
# Usage: source tools/wine-env.sh <prefix-dir>
wine_prefix_init() {
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
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
