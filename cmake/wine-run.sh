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
# Keep one server for the prefix: when the one started before the runs has
# gone (Wine's server crashes now and then under load), every later run
# would otherwise start and set up a session of its own, seconds each.
# With a server running this returns at once.
wineserver -p </dev/null >/dev/null 2>&1 || true
if command -v wine >/dev/null 2>&1; then
  exec wine "$@"
fi
exec wine64 "$@"
