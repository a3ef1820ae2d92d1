#!/usr/bin/env bash
# Runs every test: native, sanitizer and Windows (under Wine, one shared Xvfb display).
set -uo pipefail
cd "$(dirname "$0")/.."
export ZV_WINEPREFIX=${ZV_WINEPREFIX:-$PWD/build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
. scripts/wine-session.sh
trap wine_session_stop EXIT

wine_display_start 90 140
wine_server_start

rc=0
echo "== host tests"; ctest --preset host -j "$(nproc)" || rc=1
echo "== sanitizer tests"; ctest --preset asan -j "$(nproc)" || rc=1
echo "== Windows tests under Wine"; ctest --preset win32 -j 2 || rc=1
exit $rc
