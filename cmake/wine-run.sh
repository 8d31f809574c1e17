#!/bin/sh
# Runs one Windows program under Wine, as ctest and custom commands of the windows build do:
#   wine-run.sh STATE_DIR PROGRAM.exe [ARGS...]
# STATE_DIR holds a private prefix (created on first use) and a scratch HOME, so that a test
# never touches a real home and each build tree has its own desktop and registry. The ANSI
# code page is 936 (GBK) through LC_ALL. Without a display the program runs under Xvfb.
# When the program ends, every process left in the prefix is ended too; with WINE_RUN_WAIT_ALL=1
# the wrapper instead waits for them (a launcher's remover, say) to end by themselves.
set -u
state=$1
shift

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$state" "$@"
fi

mkdir -p "$state/home"
state=$(cd "$state" && pwd)
export WINEPREFIX="$state/prefix"
export HOME="$state/home"
# KORVANE_WINE_LOCALE picks another locale (en_US.UTF-8: code page 1252) for a whole prefix.
export LC_ALL="${KORVANE_WINE_LOCALE:-zh_CN.UTF-8}"
# KORVANE_WINEDEBUG turns on channels of Wine's own debug output (the benchmark counts server requests).
export WINEDEBUG="${KORVANE_WINEDEBUG:--all}"
# Keep a new prefix from asking for Mono and Gecko.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# A 64-bit prefix runs x64 programs and, under WoW64, x86 ones (wine64 hands a PE32 to the 32-bit
# loader of wine32). KORVANE_WINE_ARCH=win32 makes the whole prefix 32-bit, as 32-bit Windows is.
if [ "${KORVANE_WINE_ARCH:-}" = win32 ]; then
  export WINEARCH=win32
  WINE=/usr/lib/wine/wine
else
  WINE=$(command -v wine64 2>/dev/null || echo /usr/lib/wine/wine64)
fi
WINESERVER=$(command -v wineserver 2>/dev/null || echo /usr/lib/wine/wineserver)
export WINE WINESERVER

# First use: create the prefix quietly (its set-up messages would garble test output).
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  flock "$state/.create-lock" sh -c '
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$WINE" wineboot -i >/dev/null 2>&1
      # Xvfb has no window manager: let Wine draw captions and frames itself.
      "$WINE" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
      "$WINE" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f >/dev/null 2>&1
      "$WINESERVER" -w
    fi'
fi

"$WINE" "$@"
rc=$?
[ "${WINE_RUN_WAIT_ALL:-}" = 1 ] || "$WINESERVER" -k >/dev/null 2>&1
"$WINESERVER" -w >/dev/null 2>&1
exit $rc
