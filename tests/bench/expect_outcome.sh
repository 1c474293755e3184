#!/usr/bin/env bash
# Runs a command and checks its exit code and its output (stdout and stderr together):
#   expect_outcome.sh <exit code> [--match <regex>]... [--no-match <regex>]... -- <command...>
set -uo pipefail
expected=${1:?usage: expect_outcome.sh <exit code> [--match re]... [--no-match re]... -- command...}
shift
match=() nomatch=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --match) match+=("$2"); shift 2 ;;
    --no-match) nomatch+=("$2"); shift 2 ;;
    *) echo "expect_outcome: unknown option $1" >&2; exit 2 ;;
  esac
done
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
failed=0
if [ "$status" -ne "$expected" ]; then
  echo "expect_outcome: exit code $status, expected $expected" >&2
  failed=1
fi
for re in "${match[@]}"; do
  grep -Eq -- "$re" <<<"$output" || { echo "expect_outcome: output lacks /$re/" >&2; failed=1; }
done
for re in "${nomatch[@]}"; do
  ! grep -Eq -- "$re" <<<"$output" || { echo "expect_outcome: output has /$re/" >&2; failed=1; }
done
exit $failed
