# Sourced by the scripts that run many Wine programs in a row (tests, benchmarks, demo): one X
# display, one persistent Wine server with its services, one desktop process for the whole run.
# Expects ZV_WINEPREFIX and the repository root as the current folder.
#
#   wine_display_start FIRST LAST   a private Xvfb on the first free display FIRST..LAST,
#                                   unless DISPLAY is already set
#   wine_server_start               a fresh persistent server, services and desktop (see below)
#   wine_session_stop               stops what the two above started; safe to call twice
#   winpath PATH                    the Windows form of a Linux path (Wine's drive Z: is the root)

zv_xvfb_pid=""
zv_server_started=""

wine_display_start() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    zv_xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    return 0
  done
  echo "wine-session: no free X display in :$1..:$2; each Wine program gets its own" >&2
  return 0
}

# Wine's service processes and its desktop process inherit the standard handles of the program
# that happens to start them, and a test whose output pipe they hold does not end (for CTest)
# until they do. So the server is restarted here and they are started from programs whose output
# goes nowhere. The desktop process ends about a second after the last program using it, so a
# program owning a hidden window holds it up for the whole run: the tests' notification client
# (when built), waiting for a private message that nobody sends.
wine_server_start() {
  local keeper=build/win32/bin/zolvex-notify-client.exe ready=$ZV_WINEPREFIX.desktop-ready
  scripts/wine-run cmd /c exit 0 </dev/null >/dev/null 2>&1   # creates the prefix when new
  WINEPREFIX=$ZV_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$ZV_WINEPREFIX wineserver -w >/dev/null 2>&1 || true
  WINEPREFIX=$ZV_WINEPREFIX wineserver -p >/dev/null 2>&1 || true
  zv_server_started=1
  scripts/wine-run cmd /c exit 0 </dev/null >/dev/null 2>&1
  [ -f "$keeper" ] || return 0
  rm -f "$ready"
  scripts/wine-run "$keeper" "$ready" $((0x8000 + 1234)) 10800 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 300); do [ -s "$ready" ] && break; sleep 0.1; done
  [ -s "$ready" ] || echo "wine-session: the desktop keeper did not start; Wine runs may be slow" >&2
  rm -f "$ready"
}

wine_session_stop() {
  if [ -n "$zv_server_started" ]; then
    WINEPREFIX=$ZV_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
    zv_server_started=""
  fi
  if [ -n "$zv_xvfb_pid" ]; then
    kill "$zv_xvfb_pid" >/dev/null 2>&1 || true
    zv_xvfb_pid=""
  fi
  return 0
}

winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }
