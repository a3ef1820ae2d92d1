#!/usr/bin/env bash
# Demo: packs a sample application with the sample setup engine, runs the resulting Setup.exe
# silently under Wine with the trace viewer listening, then shows what it traced and what the
# setup did. Called by `make demo` after `make build`; uses the products in dist/.
#
# Steps:
#   1. make sure there is an X display (a private Xvfb when none is set)
#   2. start the trace viewer dist/zolvex-trace.exe and wait until its window exists
#   3. build Setup.exe with dist/zolvex-pack: SampleApp.exe, its files, and Engine.exe*
#   4. run Setup.exe /hide; the engine installs the application into a demo folder
#   5. close the viewer and print the trace lines it received
#   6. show the installed files, the engine's command line, the exit code and the setup folder
# On a machine that can't run 32-bit programs it runs with them emulated (scripts/ia32-emulated.sh);
# where that can't be set up either, it packs and checks the sample package, says why it stops
# there, and exits with 77.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Where the kernel refuses 32-bit programs, the whole demo runs with them emulated (slower), unless
# that can't be set up here or ZV_NO_EMULATION=1 says not to.
. scripts/ia32-check.sh
if ! ia32_check && [ -z "${ZV_NO_EMULATION:-}" ] && [ -z "${ZV_IA32_EMULATED:-}" ]; then
  echo "demo: this machine can't run 32-bit programs; the demo runs them through qemu's user-mode emulator (scripts/ia32-emulated.sh)"
  erc=0
  bash scripts/ia32-emulated.sh bash scripts/demo.sh || erc=$?
  [ $erc -ne 125 ] && exit $erc
  echo "demo: the emulated route can't be set up here (the line above says why)"
fi
export ZV_WINEPREFIX=${ZV_WINEPREFIX:-$root/build/wineprefix}
wine_run=$root/scripts/wine-run

sample_app=build/win32/bin/SampleApp.exe
for f in dist/stub.exe dist/zolvex-trace.exe dist/zolvex-pack dist/Engine.exe "$sample_app"; do
  [ -f "$f" ] || { echo "demo: $f is missing; run 'make build' first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zolvex-demo.XXXXXX)
. scripts/wine-session.sh
viewer_pid=""
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
  wine_session_stop
  rm -rf "$work"
  return 0
}
trap cleanup EXIT

# Windows paths back to Linux ones (winpath, from wine-session.sh, goes the other way): C: lies
# in the Wine prefix.
unixpath() {
  local p=${1//\\//} drive
  drive=$(printf '%s' "${p:0:1}" | tr 'A-Z' 'a-z')
  if [ "$drive" = z ]; then echo "${p:2}"; else echo "$ZV_WINEPREFIX/drive_$drive${p:2}"; fi
}

step() { printf '\n== %s\n' "$*"; }

# The sample package, described as a setup author would.
pack_sample() {
  step "Packing the sample application (zolvex-pack)"
  mkdir -p "$work/sample" "$work/installed"
  cat >"$work/sample/package.ini" <<INI
[Package]
Stub="$root/dist/stub.exe"
Output=Setup.exe
[Files]
Engine.exe*="$root/dist/Engine.exe"
SampleApp.exe="$root/$sample_app"
readme.txt="$root/tools/engine/sample/readme.txt"
settings.ini="$root/tools/engine/sample/settings.ini"
INI
  dist/zolvex-pack build "$work/sample/package.ini"
  dist/zolvex-pack list "$work/sample/Setup.exe" | sed 's/^/  /'
}

# Without 32-bit support in the kernel, Wine can't run: show the package and say why we stop.
. scripts/ia32-check.sh
if ! ia32_check; then
  pack_sample
  step "What the package holds (zolvex-pack info)"
  dist/zolvex-pack info "$work/sample/Setup.exe" | sed 's/^/  /'
  step "Checking the package (zolvex-pack verify)"
  dist/zolvex-pack verify "$work/sample/Setup.exe" | sed 's/^/  /'
  step "The Windows part of the demo did not run"
  ia32_explain
  echo "So Setup.exe was built and checked, but not run: no trace, no installation, no exit code."
  exit 77
fi

# 1. One display for every Wine program of the demo.
wine_display_start 90 140

# Only one viewer per Wine prefix receives the trace; wait while tests use theirs.
exec 9>"$ZV_WINEPREFIX.trace.lock"
flock 9

# 2. The trace viewer. The first Wine start of a fresh prefix takes a while.
start_viewer() {
  rm -f "$work/ready"
  "$wine_run" dist/zolvex-trace.exe --ready-file "$(winpath "$work")\\ready" \
    >"$work/trace.txt" 2>"$work/viewer.err" &
  viewer_pid=$!
  for _ in $(seq 1800); do
    [ -s "$work/ready" ] && return 0
    kill -0 "$viewer_pid" 2>/dev/null || break
    sleep 0.1
  done
  local code=0
  wait "$viewer_pid" 2>/dev/null || code=$?
  viewer_pid=""
  [ "$code" -ne 0 ] && return "$code"
  return 1
}
step "Starting the trace viewer (zolvex-trace.exe)"
code=0
start_viewer || code=$?
if [ "$code" -eq 3 ]; then
  echo "a viewer from an earlier run is still open; closing it"
  "$wine_run" dist/zolvex-trace.exe --stop || true
  code=0
  start_viewer || code=$?
fi
if [ "$code" -ne 0 ]; then
  cat "$work/viewer.err" >&2
  echo "demo: the trace viewer did not start" >&2
  exit 1
fi
echo "viewer is listening (Windows process id $(tr -d '\r\n' <"$work/ready"))"

# 3. The sample package.
pack_sample
# 4. The setup, silently. Switches the stub does not know go on to the engine: where to install,
#    and which exit code to end with (to show that the stub adopts it).
target_win=$(winpath "$work/installed")
step "Running Setup.exe /hide /Target=$target_win /Exit=7"
set +e
"$wine_run" "$work/sample/Setup.exe" /hide "/Target=$target_win" /Exit=7
stub_exit=$?
set -e

# 5. Close the viewer (the stub has delivered everything: each trace chunk is sent synchronously).
"$wine_run" dist/zolvex-trace.exe --stop >/dev/null || true
wait "$viewer_pid" 2>/dev/null || true
viewer_pid=""

step "Trace received by the viewer"
tr -d '\r' <"$work/trace.txt" | sed 's/^/  | /'

# 6. What the setup did.
log="$work/installed/engine.log"
step "What happened"
if [ ! -f "$log" ]; then
  echo "the engine did not run (Setup.exe exit code $stub_exit)" >&2
  exit 1
fi
field() { tr -d '\r' <"$log" | sed -n "s/^$1=//p" | head -n 1; }
echo "Files installed into $target_win:"
for f in "$work/installed"/*; do printf '  %s (%s bytes)\n' "$(basename "$f")" "$(stat -c %s "$f")"; done
echo "The engine was started as:"
echo "  $(field CommandLine)"
echo "Setup.exe exit code: $stub_exit (the engine ended with $(field ExitCode); the stub passes it on)"
setup_folder=$(field Source)
if [ -e "$(unixpath "$setup_folder")" ]; then
  echo "The setup folder $setup_folder is still there" >&2
  exit 1
fi
echo "The setup folder $setup_folder, where the files were extracted, is gone."
step "Running the installed application"
"$wine_run" "$work/installed/SampleApp.exe" | tr -d '\r' | sed 's/^/  /'
[ "$stub_exit" -eq 7 ]
