#!/usr/bin/env bash
# Runs every test: native, sanitizer and Windows (under Wine, one shared Xvfb display).
# On a machine that cannot run 32-bit programs the Windows layer runs with them emulated
# (scripts/ia32-emulated.sh); where that can't be set up, or with ZV_NO_EMULATION=1, it is
# skipped, and said so loudly.
set -uo pipefail
cd "$(dirname "$0")/.."
export ZV_WINEPREFIX=${ZV_WINEPREFIX:-$PWD/build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
. scripts/ia32-check.sh
. scripts/wine-session.sh
trap wine_session_stop EXIT

# Only the Windows part, where 32-bit programs run (scripts/ia32-emulated.sh calls this):
#   scripts/run-tests.sh --windows [ctest arguments]
if [ "${1:-}" = --windows ]; then
  shift  # the rest goes to ctest, e.g. -R win_tests
  ia32_check || { ia32_explain >&2; exit 1; }
  wine_display_start 90 140
  wine_server_start
  echo "== Windows tests under Wine${ZV_IA32_EMULATED:+ (32-bit programs emulated by qemu-i386)}"
  # Emulated, the UI tests run one at a time: two at once on a busy machine is where waits time out.
  jobs=2; [ -n "${ZV_IA32_EMULATED:-}" ] && jobs=1
  ctest --preset win32 -j "$jobs" "$@"
  exit $?
fi

win32=1
ia32_check || win32=0

rc=0
echo "== host tests"; ctest --preset host -j "$(nproc)" || rc=1
echo "== sanitizer tests"; ctest --preset asan -j "$(nproc)" || rc=1
if [ $win32 -eq 1 ]; then
  bash scripts/run-tests.sh --windows || rc=1
  exit $rc
fi

# The kernel refuses 32-bit programs: run the Windows part with them emulated, in a namespace of
# its own (slower, but every test runs). ZV_NO_EMULATION=1 skips it instead.
if [ -z "${ZV_NO_EMULATION:-}" ]; then
  echo
  echo "== This machine can't run 32-bit programs; the Windows tests run through qemu's user-mode"
  echo "   emulator instead (scripts/ia32-emulated.sh)"
  bash scripts/ia32-emulated.sh bash scripts/run-tests.sh --windows
  erc=$?
  if [ $erc -ne 125 ]; then
    [ $erc -eq 0 ] || rc=1
    exit $rc
  fi
  echo "   the emulated route can't be set up here (the line above says why)"
fi

echo
echo "== Windows tests under Wine: SKIPPED"
ia32_explain | sed 's/^/   /'
echo
if [ $rc -eq 0 ]; then verdict="passed"; else verdict="FAILED"; fi
echo "make test: host and sanitizer tests $verdict; the Windows tests (the Win32 layer and"
echo "end-to-end runs of the stub) were SKIPPED because this machine cannot run 32-bit programs."
exit $rc
