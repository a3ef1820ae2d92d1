#!/usr/bin/env bash
# Runs the Windows test layer once more in a Wine prefix of its own that reports Windows XP, so
# that the code paths chosen by Windows version (system information, special folders, processes)
# are taken as on XP. Wine still exports every function whatever version it reports: whether the
# programs can start on XP at all is the import-table test's job (win_imports_test, native).
# Usage: scripts/test-winxp.sh [ctest arguments]     (env: ZV_WINEPREFIX_XP)
set -uo pipefail
cd "$(dirname "$0")/.."
export ZV_WINEPREFIX=${ZV_WINEPREFIX_XP:-$PWD/build/wineprefix-winxp}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
. scripts/ia32-check.sh
if ! ia32_check; then
  echo "test-winxp: the Windows tests run under Wine, which can't run on this machine." >&2
  ia32_explain >&2
  exit 77
fi
. scripts/wine-session.sh
trap wine_session_stop EXIT
wine_display_start 141 149
wine_server_start
# The prefix is made by the first program run in it; "winecfg -v winxp" sets the same value.
scripts/wine-run reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d winxp /f >/dev/null || exit 1
# The tests that check the reported version read what to expect from here.
export ZV_WINE_VERSION=winxp
scripts/wine-run cmd /c ver
echo "== Windows tests under Wine reporting Windows XP"
ctest --preset win32 -j 2 "$@"
