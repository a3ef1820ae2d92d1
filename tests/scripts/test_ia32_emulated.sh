#!/usr/bin/env bash
# The emulated-32-bit wrapper without network and without Wine: its usage errors, which apt source
# it takes the Debian mirror from, and that a mirror it can't reach ends in one clear line
# (the mirror is a closed port on 127.0.0.1, so nothing leaves the machine).
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
script=$here/scripts/ia32-emulated.sh

passed=0 failed=0
check() {  # name, expected, actual
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1)); echo "ok: $1"
  else
    failed=$((failed + 1)); echo "FAILED: $1 (expected '$2', got '$3')"
  fi
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# --- Usage ---
"$script" >/dev/null 2>"$scratch/err"
check "no command: exit 2" 2 $?
check "no command: says how to call it" "usage: scripts/ia32-emulated.sh COMMAND [ARGS...]" "$(cat "$scratch/err")"
"$script" --help >"$scratch/out" 2>&1
check "--help: exit 0" 0 $?
grep -q "ZV_QEMU_MIRROR" "$scratch/out"
check "--help names the mirror override" 0 $?

# --- The mirror, from the apt sources of a made-up /etc/apt ---
(. "$script"; declare -F debian_mirror >/dev/null)
check "sourcing defines the functions and runs nothing" 0 $?

# name | file under etc | its lines (\n between them) | expected mirror ("" for none)
cases=(
  "one-line entry|sources.list|deb http://m1.example/debian bookworm main|http://m1.example/debian"
  "options in brackets|sources.list|deb [arch=amd64 signed-by=/k.gpg] http://m2.example/debian bookworm main contrib|http://m2.example/debian"
  "security and updates skipped|sources.list|deb http://s.example/debian-security bookworm-security main\ndeb http://u.example/debian bookworm-updates main\ndeb http://m3.example/debian bookworm main|http://m3.example/debian"
  "a third party without main skipped|sources.list.d/a.list|# deb http://old.example/debian bookworm main\ndeb https://tp.example/linux/debian bookworm stable\ndeb http://m4.example/debian trixie main|http://m4.example/debian"
  "deb822 stanza after a security one|sources.list.d/debian.sources|Types: deb\nURIs: http://s.example/debian-security\nSuites: bookworm-security\nComponents: main\n\nTypes: deb\n# a comment\nURIs: http://m5.example/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg|http://m5.example/debian"
  "deb822 disabled stanza skipped|sources.list.d/debian.sources|Types: deb\nURIs: http://off.example/debian\nSuites: bookworm\nComponents: main\nEnabled: no\n\nTypes: deb\nURIs: http://m6.example/debian\nSuites: bookworm\nComponents: main|http://m6.example/debian"
  "deb-src only: nothing|sources.list.d/src.sources|Types: deb-src\nURIs: http://src.example/debian\nSuites: bookworm\nComponents: main|"
)
for i in "${!cases[@]}"; do
  IFS='|' read -r name file lines want <<<"${cases[$i]}"
  etc=$scratch/etc$i
  mkdir -p "$etc/sources.list.d"
  printf '%b\n' "$lines" >"$etc/$file"
  check "mirror: $name" "$want" "$(. "$script"; debian_mirror "$etc" | head -n 1)"
done

# --- An unreachable mirror: one line that names it, exit 125, no emulator left behind ---
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mirror=http://127.0.0.1:$port/debian
ZV_QEMU_DIR=$scratch/qemu ZV_QEMU_MIRROR=$mirror "$script" true 2>"$scratch/err"
rc=$?
check "unreachable mirror: exit 125" 125 $rc
last=$(tail -n 1 "$scratch/err")
case "$last" in
  *"can't fetch"*) check "unreachable mirror: the last line names it" yes "$([[ $last == *"$mirror"* ]] && echo yes)"
                   check "unreachable mirror: no emulator kept" no "$([ -e "$scratch/qemu/qemu-i386" ] && echo yes || echo no)" ;;
  # This machine can't host the namespace at all: that is said first, before any download.
  *) check "no namespace here: one line, before any download" "1 no" \
           "$(wc -l <"$scratch/err") $([ -e "$scratch/qemu" ] && echo yes || echo no)" ;;
esac
check "every failure line names the script" "" "$(grep -v '^ia32-emulated: ' "$scratch/err")"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
