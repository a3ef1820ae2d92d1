#!/usr/bin/env bash
# Packager benchmark (native, no Wine): zolvex-pack build of the benchmark payload on one thread
# and on every core, against makensis (zlib) on the same files. The two zolvex-pack builds must
# give the same bytes (SOURCE_DATE_EPOCH is set).
# Usage: bench/pack.sh PAYLOAD_DIR WORK_DIR   (env: BENCH_REPEAT=3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
payload=$(readlink -f "$1")
mkdir -p "$2"
work=$(cd "$2" && pwd)   # absolute: makensis takes OutFile relative to the script's folder
repeat=${BENCH_REPEAT:-3}
pack=$root/build/host/bin/zolvex-pack
stub=$root/dist/stub.exe
[ -x "$pack" ] && [ -f "$stub" ] || { echo "bench/pack.sh: run 'make build' first" >&2; exit 1; }
export SOURCE_DATE_EPOCH=1700000000

{
  echo "[Package]"
  echo "Stub=$stub"
  echo "[Files]"
  star="*"
  for f in "$payload"/*; do echo "$(basename "$f")$star=$f"; star=""; done
} >"$work/pack.ini"
cat >"$work/pack.nsi" <<NSI
Unicode true
SetCompressor zlib
Name "ZolvexPackBench"
OutFile "$work/nsis_pack.exe"
InstallDir "\$TEMP\\zvpackbench"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$payload/*"
SectionEnd
NSI

# Prints "wall_ms cpu_ms" of one command (CPU of the process and its children).
timed() {
  local TIMEFORMAT='%R %U %S' t
  t=$( { time ( "$@" >/dev/null 2>"$work/last.err" ) ; } 2>&1 | tail -1 )
  echo "$t" | awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }'
}

declare -A wall cpu
for kind in one all nsis; do wall[$kind]=999999999; cpu[$kind]=999999999; done
for i in $(seq 1 "$repeat"); do
  for kind in one all nsis; do
    case $kind in
      one) cmd=("$pack" build "$work/pack.ini" -o "$work/one.exe" -j 1 -q) ;;
      all) cmd=("$pack" build "$work/pack.ini" -o "$work/all.exe" -q) ;;
      nsis) cmd=(makensis -V1 "$work/pack.nsi") ;;
    esac
    read -r w c < <(timed "${cmd[@]}")
    echo "   run $i $kind: wall $w ms, cpu $c ms"
    [ "$w" -lt "${wall[$kind]}" ] && wall[$kind]=$w
    [ "$c" -lt "${cpu[$kind]}" ] && cpu[$kind]=$c
  done
  cmp -s "$work/one.exe" "$work/all.exe" || { echo "!! zolvex-pack: the build on every core differs from the one-thread build" >&2; exit 1; }
done

awk -v ow="${wall[one]}" -v oc="${cpu[one]}" -v aw="${wall[all]}" -v ac="${cpu[all]}" \
    -v nw="${wall[nsis]}" -v nc="${cpu[nsis]}" -v cores="$(nproc)" \
    -v zs="$(stat -c %s "$work/all.exe")" -v ns="$(stat -c %s "$work/nsis_pack.exe")" 'BEGIN {
  printf "== packager (best of %s runs; %d cores)\n", "'"$repeat"'", cores
  printf "zolvex-pack -j 1      %6d ms wall  %6d ms cpu  %.1f MB\n", ow, oc, zs / 1048576
  printf "zolvex-pack (all)     %6d ms wall  %6d ms cpu  same bytes as -j 1\n", aw, ac
  printf "makensis (zlib)       %6d ms wall  %6d ms cpu  %.1f MB\n", nw, nc, ns / 1048576
  printf "zolvex-pack / makensis wall %.2f  (goal <= 0.40)  %s\n", aw / nw, (aw / nw <= 0.4 ? "ok" : "MISSED")
}'
rm -f "$work/one.exe" "$work/all.exe" "$work/nsis_pack.exe"
