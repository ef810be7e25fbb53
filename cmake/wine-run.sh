#!/bin/sh
# Runs a Windows program under Wine the way the tests need it: no Wine
# diagnostics on the error stream, UTF-8 for Wine's own conversions, and no
# debugger, so that a crash ends the run with a failing status instead of 0.
# WINEPREFIX names the Wine folder to use; start its wineserver once
# (wineserver -p; wineboot --init) before many runs, or each one waits for it.
: "${WINEPREFIX:=${TMPDIR:-/tmp}/korvid-wine-$(id -u)}"
WINEDEBUG=-all
LC_ALL=C.UTF-8
WINEDLLOVERRIDES=winedbg.exe=d
export WINEPREFIX WINEDEBUG LC_ALL WINEDLLOVERRIDES
if command -v wine >/dev/null 2>&1; then
  exec wine "$@"
fi
exec wine64 "$@"
