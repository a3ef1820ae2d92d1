#!/usr/bin/env bash
# Download benchmark: one file (100 MB by default) served by Debian's nginx on 127.0.0.1, fetched
# by the stub's downloader (HTTP_DownloadFile through zolvex-download-probe.exe under Wine) and by
# curl, in one run; prints both times and their ratio.
# Usage: bench/download.sh        (env: BENCH_DIR, BENCH_DL_MB=100, BENCH_REPEAT=3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=${BENCH_DIR:-$root/build/bench}/download
mb=${BENCH_DL_MB:-100}
repeat=${BENCH_REPEAT:-3}
[ -n "${ZV_IA32_EMULATED:-}" ] && repeat=${BENCH_REPEAT:-5}   # emulated runs vary more
export ZV_WINEPREFIX=${ZV_WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
probe=build/win32/bin/zolvex-download-probe.exe

echo "== download: building"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target zolvex-download-probe >/dev/null

mkdir -p "$work/www" "$work/nginx/tmp"
data=$work/www/bench.bin
if [ "$(stat -c %s "$data" 2>/dev/null || echo 0)" != $((mb * 1048576)) ]; then
  head -c $((mb * 1048576)) /dev/urandom >"$data"
fi

# ---- nginx on a free loopback port, its own prefix; stopped on exit ----
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $work/nginx/tmp;
    proxy_temp_path $work/nginx/tmp;
    fastcgi_temp_path $work/nginx/tmp;
    uwsgi_temp_path $work/nginx/tmp;
    scgi_temp_path $work/nginx/tmp;
    default_type application/octet-stream;
    sendfile on;
    server { listen 127.0.0.1:$port; root $work/www; }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
. scripts/wine-session.sh
cleanup() {
  kill "$nginx_pid" >/dev/null 2>&1 || true
  wait "$nginx_pid" 2>/dev/null || true
  wine_session_stop
  rm -f "$work"/out_*
  return 0
}
trap cleanup EXIT
for _ in $(seq 1 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break || sleep 0.05
done
url=http://127.0.0.1:$port/bench.bin

wine_display_start 150 199
wine_server_start   # Wine server up before timing

best_stub=999999999
best_curl=999999999
best_stub_cpu=999999999
best_curl_cpu=999999999
for i in $(seq 1 "$repeat"); do
  rm -f "$work"/out_*
  # The probe times HTTP_DownloadFile alone (Wine's start-up is not the downloader's).
  out=$(scripts/wine-run "$probe" get "$url" "$(winpath "$work/out_stub.bin")" | tr -d '\r')
  err=$(echo "$out" | sed -n 's/^error=//p')
  [ -z "$err" ] || { echo "!! stub download failed: $err"; exit 1; }
  stub_ms=$(echo "$out" | sed -n 's/^ms=//p' | cut -d. -f1)
  stub_cpu=$(echo "$out" | sed -n 's/^cpu_ms=//p' | cut -d. -f1)
  cmp -s "$data" "$work/out_stub.bin" || { echo "!! the stub's copy differs"; exit 1; }
  curl_times=$( { TIMEFORMAT='%U %S'; time curl -s -o "$work/out_curl.bin" -w '%{time_total}\n' "$url"; } 2>&1 )
  curl_ms=$(echo "$curl_times" | head -1 | awk '{ printf "%d", $1 * 1000 }')
  curl_cpu=$(echo "$curl_times" | tail -1 | awk '{ printf "%d", ($1 + $2) * 1000 }')
  cmp -s "$data" "$work/out_curl.bin" || { echo "!! curl's copy differs"; exit 1; }
  echo "   run $i: stub ${stub_ms} ms (cpu ${stub_cpu} ms), curl ${curl_ms} ms (cpu ${curl_cpu} ms)"
  [ "$stub_ms" -lt "$best_stub" ] && best_stub=$stub_ms
  [ "$curl_ms" -lt "$best_curl" ] && best_curl=$curl_ms
  [ "$stub_cpu" -lt "$best_stub_cpu" ] && best_stub_cpu=$stub_cpu
  [ "$curl_cpu" -lt "$best_curl_cpu" ] && best_curl_cpu=$curl_cpu
done
# Wall time is what a user waits for; on a shared machine it mostly measures the neighbours, so
# the CPU time of the two downloaders is printed too (the stub's without Wine's server process).
# With 32-bit programs emulated the stub's time is only an upper bound: past the goal it says
# nothing either way.
awk -v mb="$mb" -v s="$best_stub" -v c="$best_curl" -v sc="$best_stub_cpu" -v cc="$best_curl_cpu" \
    -v r="$repeat" -v emulated="${ZV_IA32_EMULATED:-}" 'BEGIN {
  printf "== download results (best of %d runs, %d MB from nginx on 127.0.0.1)\n", r, mb
  printf "stub HTTP_DownloadFile  %7d ms wall  %7d ms cpu  %7.1f MB/s\n", s, sc, mb / (s > 0 ? s / 1000 : 0.001)
  printf "curl                    %7d ms wall  %7d ms cpu  %7.1f MB/s\n", c, cc, mb / (c > 0 ? c / 1000 : 0.001)
  printf "stub / curl             wall %.2f  cpu %.2f  (goal: wall <= 4.00)  %s\n", s / (c > 0 ? c : 1),
         sc / (cc > 0 ? cc : 1), (s <= 4 * c ? "ok" : emulated ? "not shown (emulated)" : "MISSED")
}'
