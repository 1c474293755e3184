#!/usr/bin/env bash
# Plays a scenario (by default the disable of a reader with a filter child) with the
# installation bench of a build tree (x64, or x86 under WoW64) under Wine and prints its report.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: demo.sh <build dir> [scenario file]}
build=$(cd "$build" && pwd)
scenario=$(realpath "${2:-$here/../examples/disable_removes_filter.scn}")
# A prefix of the demo's own, laid anew from the build tree's template: the template stays as
# wineboot made it, so tests copied from it never see what a demo left behind.
export TESK_PREFIX_TEMPLATE="$build/wineprefix"
export TESK_WINEPREFIX="$build/prefixes/demo"
cd "$build/bench"
exec "$here/wine-run.sh" bench.exe "$scenario"
