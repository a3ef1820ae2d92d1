#!/usr/bin/env bash
# Runs every test: native, sanitizer and Windows (under Wine, one shared Xvfb display).
# On a machine that cannot run 32-bit programs the Windows layer is skipped, and said so loudly.
set -uo pipefail
cd "$(dirname "$0")/.."
export ZV_WINEPREFIX=${ZV_WINEPREFIX:-$PWD/build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
. scripts/ia32-check.sh
. scripts/wine-session.sh
trap wine_session_stop EXIT

win32=1
ia32_check || win32=0

rc=0
echo "== host tests"; ctest --preset host -j "$(nproc)" || rc=1
echo "== sanitizer tests"; ctest --preset asan -j "$(nproc)" || rc=1
if [ $win32 -eq 1 ]; then
  wine_display_start 90 140
  wine_server_start
  echo "== Windows tests under Wine"; ctest --preset win32 -j 2 || rc=1
  exit $rc
fi

echo
echo "== Windows tests under Wine: SKIPPED"
ia32_explain | sed 's/^/   /'
echo
if [ $rc -eq 0 ]; then verdict="passed"; else verdict="FAILED"; fi
echo "make test: host and sanitizer tests $verdict; the Windows tests (the Win32 layer and"
echo "end-to-end runs of the stub) were SKIPPED because this machine cannot run 32-bit programs."
exit $rc
