#!/usr/bin/env bash
# Runs a command where 32-bit x86 programs run even though the kernel's own 32-bit support is off:
# qemu's user-mode emulator (qemu-i386) runs them instead, through a binfmt_misc registration that
# exists only inside a private user+mount namespace. Nothing outside that namespace changes, so a
# later plain `make test` still sees the machine as it is.
#
#   usage: scripts/ia32-emulated.sh COMMAND [ARGS...]     e.g. scripts/ia32-emulated.sh make test
#
# The first run fetches qemu-i386 (qemu 10, from Debian trixie's qemu-user package) into
# build/qemu-user/ with a private apt configuration, from the Debian mirror this machine already
# uses; later runs reuse it. Older qemu (bookworm's 7.2) is too slow for Wine and fails in it.
# Needs Linux 6.7 or later: earlier kernels have one binfmt_misc for the whole machine.
#
# Exit status: COMMAND's; 2 for a usage error; 125 when the emulated environment can't be set up
# (one line on stderr says why).
#
# Environment, mostly for trying out the failure paths:
#   ZV_QEMU_MIRROR  the Debian mirror to fetch from (default: the one in /etc/apt's sources)
#   ZV_QEMU_DIR     where the emulator is kept (default: build/qemu-user beside this script's repo)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
self=$here/scripts/ia32-emulated.sh
qemu_dir=${ZV_QEMU_DIR:-$here/build/qemu-user}
qemu=$qemu_dir/qemu-i386
# Debian's qemu takes the binfmt "P" flag (argv[0] preserved, so one more argument) to be in
# effect only when its own name ends in "-binfmt-P"; the registration uses this link for that.
interp=$qemu_dir/qemu-i386-binfmt-P
suite=trixie
min_qemu_major=10

fail() { echo "ia32-emulated: $*" >&2; exit 125; }

# Inside the namespace: mount its own binfmt_misc and hand i386 ELF executables to qemu-i386.
# Flags: P keeps the program's argv[0], F opens the emulator now, so it needn't be visible to
# (or openable by) the emulated programs later.
if [ -n "${ZV_IA32_EMULATED_INSIDE:-}" ]; then
  unset ZV_IA32_EMULATED_INSIDE
  err=$(mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>&1) ||
    fail "binfmt_misc cannot be mounted in the private namespace: ${err##*: }"
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  err=$(printf '%s' ":qemu-i386:M::$magic:$mask:$interp:PF" 2>&1 >/proc/sys/fs/binfmt_misc/register) ||
    fail "registering qemu-i386 with the private binfmt_misc failed: ${err##*: }"
  # Tests that need what the emulator can't give (another process's memory) ask for this.
  export ZV_IA32_EMULATED=1
  exec "$@"
fi

# --- Can this kernel give a namespace its own binfmt_misc? (cheap, so before any download) ---
preflight() {
  local release major minor err
  release=$(uname -r)
  IFS=.- read -r major minor _ <<<"$release"
  if [ $((10#${major//[!0-9]/0} * 1000 + 10#${minor//[!0-9]/0})) -lt 6007 ]; then
    fail "Linux $release is too old: a private binfmt_misc per namespace needs Linux 6.7 or later"
  fi
  grep -qw binfmt_misc /proc/filesystems ||
    fail "this kernel has no binfmt_misc file system (not built, or its module not loaded: modprobe binfmt_misc)"
  err=$(unshare --user --map-root-user --mount true 2>&1) ||
    fail "unshare refused a user+mount namespace: ${err:-unknown error} (user namespaces off? see sysctl user.max_user_namespaces, kernel.unprivileged_userns_clone)"
  err=$(unshare --user --map-root-user --mount --propagation private \
          mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>&1) ||
    fail "binfmt_misc cannot be mounted in a private namespace: ${err##*: }"
}

# The Debian mirror this machine uses: the first main-archive entry (a "deb" line or deb822
# stanza with component main and a plain suite like "bookworm", not -security or -updates) in
# the sources under ETC (default /etc/apt).
debian_mirror() {
  local etc=${1:-/etc/apt} f
  for f in "$etc/sources.list" "$etc"/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk '$1 == "deb" { i = 2; if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                       if ($(i + 1) !~ /^[a-z]+$/) next
                       for (j = i + 2; j <= NF; j++) if ($j == "main") { print $i; exit } }' "$f"
  done
  for f in "$etc"/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk 'function flush() { if (deb && main && plain && enabled && uri != "") { print uri; found = 1 }
                            deb = main = plain = 0; enabled = 1; uri = "" }
         BEGIN { enabled = 1 }
         /^[ \t]*$/ { flush(); if (found) exit; next }
         /^#/ { next }
         tolower($1) == "types:"      { for (j = 2; j <= NF; j++) if ($j == "deb") deb = 1 }
         tolower($1) == "uris:"       { uri = $2 }
         tolower($1) == "suites:"     { for (j = 2; j <= NF; j++) if ($j ~ /^[a-z]+$/) plain = 1 }
         tolower($1) == "components:" { for (j = 2; j <= NF; j++) if ($j == "main") main = 1 }
         tolower($1) == "enabled:"    { enabled = (tolower($2) != "no") }
         END { if (!found) flush() }' "$f"
  done
}

# --- Fetch qemu-i386 once: trixie's qemu-user .deb through apt with its own state, unpacked ---
fetch_qemu() {
  local apt=$qemu_dir/apt log=$qemu_dir/fetch.log mirror deb stage version why
  command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null ||
    fail "apt-get and dpkg-deb are needed to fetch qemu-user (a Debian machine)"
  mirror=${ZV_QEMU_MIRROR:-$(debian_mirror | head -n 1)}
  mirror=${mirror:-http://deb.debian.org/debian}
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d" "$apt/state" ||
    fail "can't create $apt"
  : >"$apt/status"
  echo "deb $mirror $suite main" >"$apt/sources.list"
  local opts=(
    -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/sources.list.d"
    -o Dir::State="$apt/state" -o Dir::State::Lists="$apt/lists" -o Dir::State::status="$apt/status"
    -o Dir::Cache="$apt/cache" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
    -o APT::Architecture=amd64 -o APT::Architectures=amd64 -o APT::Sandbox::User="$(id -un)"
    -o Acquire::Languages=none -o Acquire::Retries=0 -o Debug::NoLocking=true
  )
  echo "ia32-emulated: fetching qemu-user ($suite) from $mirror into $qemu_dir (once)" >&2
  : >"$log"
  if ! apt-get "${opts[@]}" --error-on=any update >>"$log" 2>&1; then
    # apt's first error, without the URL it names: "Could not resolve ...", "... is not signed".
    why=$(grep -m 1 '^E: ' "$log" | sed -e 's/^E: //' -e 's/^Failed to fetch [^ ]*  *//')
    fail "can't fetch the $suite package lists from $mirror (no network, or the mirror unreachable?): ${why:-see $log}"
  fi
  rm -f "$apt"/*.deb
  if ! (cd "$apt" && apt-get "${opts[@]}" download qemu-user:amd64) >>"$log" 2>&1; then
    why=$(grep -m 1 '^E: ' "$log" | sed -e 's/^E: //' -e 's/^Failed to fetch [^ ]*  *//')
    fail "can't download qemu-user from $mirror: ${why:-see $log}"
  fi
  deb=$(ls "$apt"/qemu-user_*_amd64.deb 2>/dev/null | head -n 1)
  stage=$qemu_dir/unpack
  rm -rf "$stage"
  # Only qemu-i386 is kept: the package unpacks to some 450 MB of emulators for every machine.
  dpkg-deb -x "$deb" "$stage" 2>>"$log" && [ -x "$stage/usr/bin/qemu-i386" ] ||
    { rm -rf "$stage"; fail "can't unpack qemu-i386 from $deb: see $log"; }
  mv -f "$stage/usr/bin/qemu-i386" "$qemu.new" && mv -f "$qemu.new" "$qemu"
  rm -rf "$stage" "$deb"
  version=$("$qemu" --version 2>/dev/null | head -n 1)
  echo "ia32-emulated: got ${version:-qemu-i386}" >&2
}

# Sourced (by the script's test): only the functions above.
if [ "${BASH_SOURCE[0]}" != "$0" ]; then return 0; fi

case "${1:-}" in
  "") echo "usage: scripts/ia32-emulated.sh COMMAND [ARGS...]" >&2; exit 2 ;;
  -h|--help) sed -n '2,19s/^# \{0,1\}//p' "$self"; exit 0 ;;
esac

preflight
case "$interp" in *:*) fail "the emulator's path ($interp) contains ':', which a binfmt_misc registration can't hold" ;; esac
mkdir -p "$qemu_dir" || fail "can't create $qemu_dir"
(
  flock 9
  [ -x "$qemu" ] || fetch_qemu
) 9>"$qemu_dir/.lock" || exit $?
version=$("$qemu" --version 2>/dev/null | sed -n '1s/.*version \([0-9][0-9]*\)\..*/\1/p')
[ "${version:-0}" -ge "$min_qemu_major" ] ||
  fail "$qemu is not qemu $min_qemu_major or later (delete $qemu_dir to fetch it again)"
ln -sfn qemu-i386 "$interp" || fail "can't create $interp"

export ZV_IA32_EMULATED_INSIDE=1
if [ "$(id -u)" != 0 ]; then
  exec unshare --user --map-root-user --mount --propagation private bash "$self" "$@"
fi
# As root, every user and group id is mapped to itself rather than only root, so that programs that
# change to another user inside (nginx's workers become "nobody") work as they do outside. The
# namespace's process waits on a pipe until its maps are written.
gate=$(mktemp -u "${TMPDIR:-/tmp}/ia32-emulated.XXXXXX") && mkfifo "$gate" || fail "can't create a pipe in ${TMPDIR:-/tmp}"
unshare --user --mount --propagation private bash -c 'read -r _ <"$0"; exec bash "$@"' "$gate" "$self" "$@" &
child=$!
own=$(readlink /proc/self/ns/user)
for _ in $(seq 1 500); do
  ns=$(readlink "/proc/$child/ns/user" 2>/dev/null) || break
  [ "$ns" != "$own" ] && break
  sleep 0.01
done
if ! { echo "0 0 4294967295" >"/proc/$child/uid_map" && echo "0 0 4294967295" >"/proc/$child/gid_map"; } 2>/dev/null; then
  kill "$child" 2>/dev/null; rm -f "$gate"
  fail "can't map the user ids of the namespace"
fi
echo go >"$gate"
rm -f "$gate"
trap 'kill -TERM "$child" 2>/dev/null' INT TERM
wait "$child"
