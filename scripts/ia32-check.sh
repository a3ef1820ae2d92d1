# Sourced by every script that runs Windows programs under Wine (tests, demo, benchmarks, wine-run):
# can this machine run 32-bit x86 programs at all?
#
# Wine runs 32-bit Windows code in 32-bit Linux processes. A kernel started with its 32-bit emulation
# off (common on cloud and hardened hosts; the kernel log says "32-bit emulation disabled") refuses
# every such process with "Exec format error", and no Wine build gets around that. The check writes
# a 93-byte static 32-bit program that only exits with 0, runs it, and deletes it again.
#
#   ia32_check [PROGRAM]   returns 0 when PROGRAM (default: the probe) runs, 1 when the kernel
#                          refuses it with "Exec format error"; anything else (a folder mounted
#                          noexec, say) counts as "can run", so that Wine's own error then shows.
#                          Sets ia32_detail to what the refusal said.
#   ia32_explain           the paragraph that says why the Windows part can't run and what enables it

ia32_detail=""

# The probe: an ELF header, one loadable segment, and "xor ebx,ebx; mov eax,1; int 0x80" (exit 0).
zv_ia32_probe_bytes() {
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'
  printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'
  printf '\061\333\270\001\000\000\000\315\200'
}

zv_ia32_run() {
  local program=$1 err rc
  err=$("$program" 2>&1 >/dev/null)
  rc=$?
  if [ $rc -eq 126 ] && [[ $err == *"Exec format error"* ]]; then
    ia32_detail=${err##*: }
    return 1
  fi
  return 0
}

ia32_check() {
  ia32_detail=""
  if [ -n "${1:-}" ]; then
    zv_ia32_run "$1"
    return
  fi
  local dir rc
  dir=$(mktemp -d "${TMPDIR:-/tmp}/zv-ia32.XXXXXX") || return 0
  zv_ia32_probe_bytes >"$dir/probe"
  chmod +x "$dir/probe"
  zv_ia32_run "$dir/probe"
  rc=$?
  rm -rf "$dir"
  return $rc
}

ia32_explain() {
  cat <<EOF
This machine cannot run 32-bit x86 programs: its Linux kernel refuses them ("${ia32_detail:-Exec format error}"),
usually because it was started with its 32-bit emulation off (the kernel log then says
"32-bit emulation disabled"). Wine runs the 32-bit Windows programs of this project in such
processes, so nothing Windows-side can run here. To enable it, start the kernel with
"ia32_emulation=on" on its command line (or use a machine whose kernel runs 32-bit programs,
as most desktop Debian installations do).
EOF
}
