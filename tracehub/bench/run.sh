#!/usr/bin/env bash
# Builds the trace-library benchmark (x64) and runs it under Wine in the build tree's prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD:-$root/build}/x64"
if [ ! -f "$build/build.ninja" ]; then
  make -C "$root" "$build/build.ninja" BUILD="${BUILD:-build}"
fi
cmake --build "$build" -j1 --target kvtracehub_bench
export TESK_WINEPREFIX="$build/wineprefix"
cd "$build/tracehub/bench"
exec "$root/scripts/wine-run.sh" ./kvtracehub_bench.exe "$@"
