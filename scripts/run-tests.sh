#!/usr/bin/env bash
# Runs every test: native, sanitizer and Windows (under Wine, one shared Xvfb display).
set -uo pipefail
cd "$(dirname "$0")/.."
export ZV_WINEPREFIX=${ZV_WINEPREFIX:-$PWD/build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32

xvfb_pid=""
cleanup() {
  WINEPREFIX=$ZV_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1
  return 0
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    sleep 1
    break
  done
fi
# Create the prefix once, before tests start in parallel. Then start one persistent wineserver
# and Wine's own service processes from a command whose output goes nowhere: the services inherit
# the standard handles of the program that starts them, and a test whose pipe they held would
# not end (for CTest) until the whole run is over.
scripts/wine-run cmd /c exit 0 >/dev/null 2>&1
WINEPREFIX=$ZV_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
WINEPREFIX=$ZV_WINEPREFIX wineserver -w >/dev/null 2>&1 || true
WINEPREFIX=$ZV_WINEPREFIX wineserver -p >/dev/null 2>&1 || true
scripts/wine-run cmd /c exit 0 </dev/null >/dev/null 2>&1
# Wine's desktop process starts with the first window and ends about a second after the last
# program using it; a desktop restarted by a test would hold that test's output pipe to the end
# of the run. A hidden window owned by a program whose output goes nowhere keeps one desktop up.
ready=build/wineprefix.desktop-ready
rm -f "$ready"
scripts/wine-run build/win32/bin/desktop_keeper.exe "$ready" </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 300); do [ -s "$ready" ] && break; sleep 0.1; done
[ -s "$ready" ] || echo "run-tests: the desktop keeper did not start; Wine tests may run slowly" >&2

rc=0
echo "== host tests"; ctest --preset host -j "$(nproc)" || rc=1
echo "== sanitizer tests"; ctest --preset asan -j "$(nproc)" || rc=1
echo "== Windows tests under Wine"; ctest --preset win32 -j 2 || rc=1
exit $rc
