#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each for SECONDS (default 60), starting
# from its seed corpus in fuzz/corpus/<name without "fuzz_"> (or its first word, e.g. "package").
# New inputs and crash artifacts go to build/fuzz/work, never into the committed seeds.
set -euo pipefail
secs=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

targets=()
for src in fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets" >&2; exit 1; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]}"

work=build/fuzz/work
status=0
for name in "${targets[@]}"; do
  short=${name#fuzz_}
  seeds=fuzz/corpus/$short
  [ -d "$seeds" ] || seeds=fuzz/corpus/${short%%_*}
  mkdir -p "$work/$name" "$work/artifacts/$name"
  corpora=("$work/$name")
  [ -d "$seeds" ] && corpora+=("$seeds")
  echo "== $name for ${secs}s (seeds: $seeds)"
  if ! build/fuzz/bin/"$name" -max_total_time="$secs" -timeout=10 -malloc_limit_mb=256 \
      -rss_limit_mb=1024 -artifact_prefix="$work/artifacts/$name/" -print_final_stats=1 \
      "${corpora[@]}"; then
    echo "!! $name found a problem; see $work/artifacts/$name/" >&2
    status=1
  fi
done
exit $status
