#!/usr/bin/env bash
# The stub's size against its budget and against NSIS's zlib stub; with the linker map, where the
# bytes go (bench/stub_size.py). Needs no Wine. Fails when the stub is past the budget.
# Usage: bench/stub_size.sh [STUB]   (env: STUB_BUDGET_KB=200, STUB_AIM_KB=128, STUB_TOP=14)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stub=${1:-$root/dist/stub.exe}
[ -f "$stub" ] || stub=$root/build/win32/bin/stub.exe
map=$root/build/win32/stub.map
budget_kb=${STUB_BUDGET_KB:-200}
aim_kb=${STUB_AIM_KB:-128}
if [ ! -f "$stub" ]; then
  echo "stub size: no stub.exe (build the win32 preset first)" >&2
  exit 1
fi
size=$(stat -c %s "$stub")

nsis=""
for candidate in /usr/share/nsis/Stubs/zlib-x86-ansi /usr/share/nsis/Stubs/zlib-x86-unicode; do
  if [ -f "$candidate" ]; then nsis=$candidate; break; fi
done

echo "== stub size"
if [ -f "$map" ]; then
  python3 "$root/bench/stub_size.py" "$map" --top "${STUB_TOP:-14}" | sed 's/^/   /'
fi
awk -v s="$size" -v b="$budget_kb" -v a="$aim_kb" 'BEGIN { printf "stub.exe           %8d bytes (%.1f KB)  budget %d KB, aim %d KB\n", s, s / 1024, b, a }'
if [ -n "$nsis" ]; then
  nsize=$(stat -c %s "$nsis")
  awk -v s="$size" -v n="$nsize" -v f="$(basename "$nsis")" 'BEGIN { printf "NSIS zlib stub     %8d bytes (%s)  stub / NSIS = %.2f\n", n, f, s / n }'
else
  echo "NSIS zlib stub     not found (Debian's nsis package: scripts/setup.sh installs it)"
fi
if [ "$size" -gt $((budget_kb * 1024)) ]; then
  echo "!!!!!!!! stub.exe is $((size / 1024)) KB, PAST its budget of $budget_kb KB (docs/stub-size.md says where the bytes go) !!!!!!!!" >&2
  exit 1
fi
if [ "$size" -gt $((aim_kb * 1024)) ]; then
  echo "stub.exe is within its budget but above the aim of $aim_kb KB"
else
  echo "stub.exe is within the aim of $aim_kb KB"
fi
