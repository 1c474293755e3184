#!/usr/bin/env bash
# Runs the demonstration host of an x64 build tree under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: demo.sh <x64 build dir>}
build=$(cd "$build" && pwd)
export TESK_WINEPREFIX="$build/wineprefix"
cd "$build/bench/demo"
exec "$here/wine-run.sh" demo_host.exe
