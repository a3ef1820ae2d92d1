#!/usr/bin/env bash
# The "can this machine run 32-bit programs" check that the test runner, the demo, the benchmarks
# and wine-run share. The refusing side is shown with a program no kernel runs (an ELF for a
# machine type that does not exist), so it is tested on every machine, not only on those whose
# kernel has its 32-bit emulation off.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/scripts/ia32-check.sh"

passed=0 failed=0
check() {  # name, expected (yes/no), actual (yes/no)
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1)); echo "ok: $1"
  else
    failed=$((failed + 1)); echo "FAILED: $1 (expected $2, got $3)"
  fi
}
answer() { if ia32_check "$@"; then echo yes; else echo no; fi; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A program that the kernel refuses with "Exec format error": the probe with machine type 0xBEEF.
zv_ia32_probe_bytes >"$scratch/alien"
printf '\357\276' | dd of="$scratch/alien" bs=1 seek=18 conv=notrunc 2>/dev/null
chmod +x "$scratch/alien"
printf 'not a program\n' >"$scratch/not-executable"

# program | expected answer
cases=(
  "/bin/true|yes"                       # runs
  "/bin/false|yes"                      # runs, exits non-zero: still a machine that runs it
  "$scratch/alien|no"                   # refused by the kernel
  "$scratch/not-executable|yes"         # another error: Wine's own message should then show
)
for c in "${cases[@]}"; do
  check "ia32_check ${c%%|*}" "${c##*|}" "$(answer "${c%%|*}")"
done
ia32_check "$scratch/alien"
check "the refusal is named" "Exec format error" "$ia32_detail"

# The real probe agrees with the kernel: it answers "yes" exactly where Wine's 32-bit loader
# starts. Without Wine installed, an assembled 32-bit program stands in for the loader.
probe=$(answer)
if [ -x /usr/lib/wine/wine ]; then
  witness="Wine's 32-bit loader"
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then real=yes; else real=no; fi
else
  witness="an assembled 32-bit program"
  printf '.globl _start\n_start: movl $1,%%eax\n xorl %%ebx,%%ebx\n int $0x80\n' >"$scratch/w.s"
  as --32 "$scratch/w.s" -o "$scratch/w.o" && ld -m elf_i386 "$scratch/w.o" -o "$scratch/w"
  if "$scratch/w" 2>/dev/null; then real=yes; else real=no; fi
fi
check "the probe agrees with $witness" "$real" "$probe"

# The probe leaves nothing behind.
export TMPDIR=$scratch/tmp
mkdir -p "$TMPDIR"
ia32_check
check "nothing left in TMPDIR" "" "$(ls -A "$TMPDIR")"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
