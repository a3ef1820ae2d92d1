#!/usr/bin/env bash
# Installs, only when missing, what the build and the tests need on Debian 12.
# Safe to run again: it does nothing when everything is present.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake ninja-build make g++ clang g++-mingw-w64-i686-posix mingw-w64-i686-dev
      libz-mingw-w64-dev googletest zlib1g-dev xvfb xauth python3 osslsigncode nginx-light
      binutils-mingw-w64-i686 curl nsis)
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done

i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then i386=1; fi
have_pkg wine32:i386 || need+=(wine32:i386)
have_pkg wine || need+=(wine)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ $i386 -eq 1 ]; then $SUDO dpkg --add-architecture i386; fi
echo "setup: installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
