#!/usr/bin/env bash
# Non-blank lines of C and C++ (.c .cpp .h .rc) per top-level folder, split into test code and the
# rest. Test code is everything built only to test: all of tests/ (tests, stress and performance
# programs, test doubles, hosts, the support library). The rest is what ships or what a
# user-facing command needs: the DLLs, platform/, include/, and the installation bench with the
# SetupAPI simulation it plays against (bench/).
# Usage: scripts/code-share.sh [--max PERCENT]   exits 1 when the test share is above PERCENT.
set -euo pipefail
cd "$(dirname "$0")/.."

max=""
if [ "${1:-}" = "--max" ]; then max="$2"; fi

count() {
  find "$@" -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.rc' \) -print0 2>/dev/null |
    xargs -0 -r cat | grep -cv '^[[:space:]]*$' || true
}

test_lines=0
rest_lines=0
printf '%-14s %8s  %s\n' folder lines kind
for dir in */; do
  dir=${dir%/}
  case "$dir" in build|dist) continue ;; esac
  n=$(count "$dir")
  [ "$n" -eq 0 ] && continue
  if [ "$dir" = tests ]; then
    kind=test
    test_lines=$((test_lines + n))
  else
    kind=rest
    rest_lines=$((rest_lines + n))
  fi
  printf '%-14s %8d  %s\n' "$dir" "$n" "$kind"
done
total=$((test_lines + rest_lines))
share=$(awk -v t="$test_lines" -v a="$total" 'BEGIN { printf "%.1f", a ? 100 * t / a : 0 }')
echo "test code: $test_lines of $total lines ($share %)"
if [ -n "$max" ] && awk -v s="$share" -v m="$max" 'BEGIN { exit !(s > m) }'; then
  echo "test share $share % is above $max %"
  exit 1
fi
