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
#   7. the auto-update agent: release 2 on a local nginx; the agent installs it and restarts itself
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
nginx_pid=""
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
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
[ "$stub_exit" -eq 7 ] || { echo "demo: Setup.exe ended with $stub_exit, not the engine's 7" >&2; exit 1; }

# 7. The auto-update agent: the installation gets an agent and a .original file saying it holds
#    release 1; release 2 appears on a local nginx; the agent, started with a short delay, finds it,
#    downloads it, runs its setup, records the new version and starts itself again.
agent_act() {
  local app=$work/installed www=$work/www ngx=$work/nginx port token=demo-update-token
  local agent=AppAgent.exe info=SampleApp.Update.info
  local runlog=$app/X_AppAgent.log
  mkdir -p "$www" "$work/release"
  # nginx with its own configuration and logs under $ngx (the e2e tests' helper starts it).
  python3 tests/e2e/httpserver.py --nginx "$www" "$ngx" >"$work/nginx.address" &
  nginx_pid=$!
  for _ in $(seq 300); do [ -s "$work/nginx.address" ] && break; sleep 0.1; done
  [ -s "$work/nginx.address" ] || { echo "demo: nginx did not start; see $ngx/error.log" >&2; return 1; }
  port=$(sed -n 's|^http://127.0.0.1:\([0-9]*\)/$|\1|p' "$work/nginx.address")
  local update_section="[Update]
UpdateUrl=http://127.0.0.1:$port
InfoFileName=$info
AgentFileName=$agent
Token=$token"

  step "The auto-update agent: release 2 on a local nginx (http://127.0.0.1:$port)"
  # The agent as a setup would have installed it, and what the installed release says of itself.
  printf '[Package]\nStub="%s"\nOutput="%s"\nAgent=1\nRunLog=1\n%s\n[Files]\nEngine.exe*="%s"\n' \
    "$root/dist/stub.exe" "$app/$agent" "$update_section" "$root/dist/Engine.exe" >"$work/release/agent.ini"
  dist/zolvex-pack build -q "$work/release/agent.ini"
  printf '[OriginalSetup]\r\nProgramName=Sample App\r\nVersionOriginal=1\r\nStamp=1\r\nProbeSecondsInterval=3600\r\nProbeSecondsLast=0\r\n[Directories]\r\nTargetDir=%s\r\n' \
    "$target_win" >"$app/SampleApp.original"
  # Release 2: the setup package (with the next agent) and its description, on the server.
  printf '2\r\n' >"$work/release/version.txt"
  printf '[Package]\nStub="%s"\nOutput="%s"\nSaveAgentCopy=1\nRunLog=1\n%s\n[Files]\nEngine.exe* /Target=%s="%s"\nSampleApp.exe="%s"\nversion.txt=version.txt\n' \
    "$root/dist/stub.exe" "$www/Update.exe" "$update_section" "$target_win" "$root/dist/Engine.exe" \
    "$root/$sample_app" >"$work/release/update.ini"
  dist/zolvex-pack build -q "$work/release/update.ini"
  printf '[General]\r\nAutoInform=0\r\n[NewSetup]\r\nProgramName=Sample App\r\nVersionNew=2\r\nStamp=2\r\nDownloadURL_UPDATE=http://127.0.0.1:%s\r\nNameOfUpdateFile=Update.exe\r\nSizeOfUpdateFile=%s\r\nBackgroundUpdate=1\r\nShutDownMethod=Using WM_CLOSE\r\nRunningProcess=<InstallDir>\\SampleApp.exe\r\nRestartProcess=1\r\nInformFinish=0\r\n' \
    "$port" "$(stat -c %s "$www/Update.exe")" >"$www/$info"
  echo "installed: $(ls "$app" | tr '\n' ' ')"
  echo "served:    $info, Update.exe ($(stat -c %s "$www/Update.exe") bytes)"

  step "Starting $agent /DELAY=1 (it starts its running copy X_$agent and ends)"
  "$wine_run" "$app/$agent" /DELAY=1
  local done=""
  for _ in $(seq 360); do
    grep -q "PerformAutoUpdate() - END" "$runlog" 2>/dev/null && { done=1; break; }
    sleep 0.5
  done
  [ -n "$done" ] || { echo "demo: the agent ran no update within 3 minutes; its run log:" >&2; cat "$runlog" >&2 2>/dev/null; return 1; }
  # The new agent's copy: the update brought the next agent, which the old copy starts on its way out.
  for _ in $(seq 360); do
    [ "$(tr -d '\r' <"$runlog" | grep -c "=== START === .*X_$agent\$")" -ge 2 ] && break
    sleep 0.5
  done

  step "What the agent did"
  echo "Requests nginx served:"
  sed -E 's/^[^"]*"([^"]*)" ([0-9]+) ([0-9]+).*/  \1 -> \2, \3 bytes/' "$ngx/access.log"
  echo "Its run log ($(basename "$runlog")), the main lines:"
  tr -d '\r' <"$runlog" | grep -E "=== START ===|GetOkToPerformAU|PerformAutoUpdate\(\) - END|WinExec" | sed 's/^/  /' || true
  local version
  version=$(tr -d '\r' <"$app/SampleApp.original" | sed -n 's/^VersionOriginal=//p')
  echo "The installation: VersionOriginal 1 -> $version; version.txt says $(tr -d '\r\n' <"$app/version.txt")"
  if [ -f "$app/Update.exe" ]; then echo "demo: the downloaded update is still there" >&2; return 1; fi
  echo "The downloaded Update.exe is gone; a new running copy X_$agent $([ -f "$app/X_$agent" ] && echo runs || echo "is missing")."

  step "Stopping the agent: $agent /STOP=0"
  "$wine_run" "$app/$agent" /STOP=0
  for _ in $(seq 360); do [ -f "$app/X_$agent" ] || break; sleep 0.5; done
  echo "X_$agent $([ -f "$app/X_$agent" ] && echo "is still there" || echo "has ended and deleted itself")."
  kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null || true
  nginx_pid=""
  [ "$version" = 2 ]
}
agent_act
