#!/usr/bin/env bash
# Runs the whole test suite in the x64 build tree and again in the x86 one, each tree with its own
# template prefix, and ends with one summary line per architecture. x86 runs only where this
# machine runs 32-bit programs and wine32 is installed (scripts/install-deps.sh decides).
#
#   scripts/run-tests.sh <build dir> <jobs>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run-tests.sh <build dir> <jobs>}
jobs=${2:-2}
summary=()
failed=0

run_tree() {
  local arch=$1 log status
  log=$(mktemp)
  echo "== $arch tests"
  # A test that hangs fails after ten minutes instead of holding the suite forever; the slowest
  # passing test takes seconds.
  (cd "$build/$arch" && ctest --output-on-failure --timeout 600 -j "$jobs") | tee "$log"
  status=${PIPESTATUS[0]}
  summary+=("$arch: $(grep -E 'tests passed|No tests were found' "$log" | tail -1)")
  rm -f "$log"
  [ "$status" -eq 0 ] || failed=1
}

run_tree x64
if "$here/install-deps.sh" --x86-runs; then
  run_tree x86
else
  summary+=("x86 tests skipped: this machine cannot run 32-bit programs")
fi
echo
printf '%s\n' "${summary[@]}"
exit "$failed"
