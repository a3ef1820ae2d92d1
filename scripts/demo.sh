#!/usr/bin/env bash
# Demo: runs the stub under Wine with the trace viewer listening, then shows what it traced.
# Called by `make demo` after `make build`; uses the products in dist/.
#
# Steps:
#   1. make sure there is an X display (a private Xvfb when none is set)
#   2. start the trace viewer dist/zolvex-trace.exe and wait until its window exists
#   3. run dist/stub.exe
#   4. close the viewer and print the trace lines it received
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export ZV_WINEPREFIX=${ZV_WINEPREFIX:-$root/build/wineprefix}
wine_run=$root/scripts/wine-run

for f in dist/stub.exe dist/zolvex-trace.exe; do
  [ -f "$f" ] || { echo "demo: $f is missing; run 'make build' first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zolvex-demo.XXXXXX)
xvfb_pid=""
viewer_pid=""
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
  return 0
}
trap cleanup EXIT

# Windows paths for Wine: its drive Z: is the Linux root.
winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }

step() { printf '\n== %s\n' "$*"; }

# 1. One display for every Wine program of the demo.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi

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

# 3. The stub. Its trace goes to the viewer while it runs.
step "Running stub.exe /Demo"
set +e
"$wine_run" dist/stub.exe /Demo
stub_exit=$?
set -e
echo "stub.exe exit code: $stub_exit"

# 4. Close the viewer (the stub has delivered everything: each trace chunk is sent synchronously).
"$wine_run" dist/zolvex-trace.exe --stop >/dev/null || true
wait "$viewer_pid" 2>/dev/null || true
viewer_pid=""

step "Trace received by the viewer"
tr -d '\r' <"$work/trace.txt" | sed 's/^/  | /'
