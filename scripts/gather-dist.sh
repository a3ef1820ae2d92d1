#!/usr/bin/env bash
# Collects the products of both builds in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p dist
copy() { [ -f "$1" ] && cp -f "$1" "dist/$2"; return 0; }
copy build/win32/bin/stub.exe stub.exe
copy build/win32/bin/zolvex-trace.exe zolvex-trace.exe
copy build/win32/bin/zolvex-pack.exe zolvex-pack.exe
copy build/win32/bin/Engine.exe Engine.exe
copy build/win32/bin/zolvex-uidriver.exe zolvex-uidriver.exe
copy build/host/bin/zolvex-pack zolvex-pack
ls dist
