#!/usr/bin/env bash
# Runs the robustness and performance campaigns at full length in a build tree of their own,
# compiled with the stack protector and the runtime's checked functions, and writes the figures
# with the machine and date into docs/robustness.md; the request campaign and the load race run on
# x86 too where this machine runs 32-bit programs. Exit status 1 when an invariant failed or a
# benchmark missed a goal, timed goals included: each benchmark measures against its yardstick in
# the same run (interleaved rounds, the best of each), so a goal holds on a shared machine too.
#
#   scripts/run_campaign.sh [build-dir]      (default build/campaign-x64)
#
# Lengths can be changed through the environment: TESK_CAMPAIGN_CALLS (1000000),
# TESK_CAMPAIGN_RACE_ROUNDS (300), TESK_CAMPAIGN_LOG_RECORDS (10000), TESK_CAMPAIGN_HOSTILE_SCALE
# (10 times the rounds of the short run), TESK_CAMPAIGN_SEED (derived from the date).
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/campaign-x64}"
jobs="${JOBS:-2}"
doc="$root/docs/robustness.md"
out="$build/campaign-results"
export TESK_CAMPAIGN_CALLS="${TESK_CAMPAIGN_CALLS:-1000000}"
export TESK_CAMPAIGN_RACE_ROUNDS="${TESK_CAMPAIGN_RACE_ROUNDS:-300}"
export TESK_CAMPAIGN_LOG_RECORDS="${TESK_CAMPAIGN_LOG_RECORDS:-10000}"
export TESK_CAMPAIGN_HOSTILE_SCALE="${TESK_CAMPAIGN_HOSTILE_SCALE:-10}"
export TESK_CAMPAIGN_SEED="${TESK_CAMPAIGN_SEED:-$(date -u +%Y%m%d%H%M)}"
export TESK_WINEPREFIX="$build/wineprefix"
export TESK_CAMPAIGN_TIMED_GOALS=1
hardening="-fstack-protector-strong -D_FORTIFY_SOURCE=2"

started=$(date +%s)
# Taken before this file is rewritten, which would otherwise count as a change of its own.
commit="$(git -C "$root" rev-parse --short HEAD 2>/dev/null)$(git -C "$root" diff --quiet 2>/dev/null || echo ' (with uncommitted changes)')"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DTESK_BUILD_TESTS=ON "-DCMAKE_C_FLAGS=$hardening" "-DCMAKE_CXX_FLAGS=$hardening" \
  -DTESK_DIST_DIR="$build/dist" -DTESK_X86_BUILD_DIR="$root/build/x86" >/dev/null || exit 1
cmake --build "$build" -j "$jobs" --target stress_requests_test stress_load_race_test stress_cross_process_test \
  stress_hostile_environment_test perf_bench \
  || exit 1
rm -rf "$out"
mkdir -p "$out"

failed=0
# run <name> <program> [arguments...]: output to $out/<name>.txt, a failure noted.
run() {
  local name="$1"
  shift
  echo "== $name" >&2
  if (cd "$(dirname "$1")" && "$root/scripts/wine-run.sh" "$@") >"$out/$name.txt" 2>&1; then
    echo "pass" >"$out/$name.status"
  else
    echo "FAIL" >"$out/$name.status"
    failed=1
  fi
}

tests="$build/tests"
bench="$build/perf/perf_bench.exe"
for name in requests load_race cross_process hostile_environment; do
  run "$name" "$tests/stress_${name}_test/stress_${name}_test.exe"
done
run bench_trace_call "$bench" trace-call 2000000
run bench_hub_write "$bench" hub-write 20000
# The ignored request and the first call in layouts of their own: the trace library beside the
# program (the search's first candidate, the program directory from the registry and the guesses,
# finds nothing first); no trace library anywhere (the search runs to its end); and, for the first
# call, the configuration service registered, switched on and naming the library's directory as
# the trace component's program directory.
bench_dir="$(dirname "$bench")"
no_library="$build/campaign/first_call_no_library"
served="$build/campaign/first_call_service"
rm -rf "$no_library" "$served"
mkdir -p "$no_library" "$served/prog"
cp "$bench" "$bench_dir/TeskCoInstaller.dll" "$bench_dir/setupapi.dll" "$no_library/"
cp "$bench" "$bench_dir/TeskCoInstaller.dll" "$bench_dir/setupapi.dll" "$build/confserver/KvLocbaseService.dll" "$served/"
cp "$bench_dir/KvTraceHub001.dll" "$served/prog/"
run bench_request "$bench" request 200000
run bench_request_no_library "$no_library/perf_bench.exe" request 200000
wine_dir() { echo "Z:$1" | tr / '\\'; }
settings='HKLM\SOFTWARE\Korvan Mirel Compact'
wine_quiet() { "$root/scripts/wine-run.sh" "$@" >/dev/null 2>&1; }
for i in 1 2 3 4 5; do
  run "bench_first_call_beside_$i" "$bench" first-call library_beside_program
  run "bench_first_call_none_$i" "$no_library/perf_bench.exe" first-call no_library
done
(cd "$served" && wine_quiet regsvr32 /s KvLocbaseService.dll)
wine_quiet reg add "$settings" /reg:32 /v LocbaseActive /t REG_SZ /d ein /f
wine_quiet reg add "$settings\\LocbaseService" /reg:32 /v GetProgramPath /t REG_SZ /d "$(wine_dir "$served")" /f
wine_quiet reg add "$settings\\LocbaseService" /reg:32 /v GetProgramPath.2 /t REG_SZ /d prog /f
for i in 1 2 3 4 5; do run "bench_first_call_service_$i" "$served/perf_bench.exe" first-call service; done
wine_quiet reg delete "$settings\\LocbaseService" /reg:32 /f
wine_quiet reg delete "$settings" /reg:32 /v LocbaseActive /f
(cd "$served" && wine_quiet regsvr32 /s /u KvLocbaseService.dll)
# ---- x86: the request campaign and the load race against the 32-bit module under WoW64, from a
# hardened i686 build tree beside this one, in a prefix of its own ----
x86_build="$(dirname "$build")/campaign-x86"
x86_runs=0
if "$root/scripts/install-deps.sh" --x86-runs; then
  x86_runs=1
  cmake -S "$root" -B "$x86_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DTESK_BUILD_TESTS=ON "-DCMAKE_C_FLAGS=$hardening" "-DCMAKE_CXX_FLAGS=$hardening" \
    -DTESK_DIST_DIR="$x86_build/dist" >/dev/null || exit 1
  cmake --build "$x86_build" -j "$jobs" --target stress_requests_test stress_load_race_test || exit 1
  for name in requests load_race; do
    TESK_WINEPREFIX="$x86_build/wineprefix" run "x86_$name" "$x86_build/tests/stress_${name}_test/stress_${name}_test.exe"
  done
fi

finished=$(date +%s)
# A missed goal fails the campaign even where its program's exit status would not say so.
missed="$(grep -h '^goal ' "$out"/bench_*.txt | tr -d '\r' | awk '$3 != "met"')"
[ -z "$missed" ] || failed=1

# ---- docs/robustness.md ----
status() { cat "$out/$1.status"; }
figures() { grep -h '^figure ' "$out"/$1.txt | awk '{printf "| %s | %s %s |\n", $2, $3, $4}'; }
goals() { grep -h '^goal ' "$out"/bench_*.txt | tr -d '\r' | awk '{printf "| %s | %s |\n", $2, $3}'; }
# First-call figures: the median of the processes started for it.
first_call_figures() {
  cat "$out"/bench_first_call_$1_*.txt | grep '^figure ' | awk '
    { values[$2] = values[$2] " " $3; unit[$2] = $4; if (!($2 in seen)) { order[++n] = $2; seen[$2] = 1 } }
    END { for (i = 1; i <= n; i++) { k = order[i]; c = split(values[k], v, " ");
            for (a = 1; a <= c; a++) for (b = a + 1; b <= c; b++) if (v[b] + 0 < v[a] + 0) { t = v[a]; v[a] = v[b]; v[b] = t }
            printf "| %s | %s %s (median of %d processes) |\n", k, v[int((c + 1) / 2)], unit[k], c } }'
}

{
  cat "$root/tests/perf/robustness_intro.md"
  echo
  echo "## Figures of the last run"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Machine: $(uname -srm); $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); $(nproc) cores; $(awk '/MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo)"
  echo "- Wine: $(wine --version 2>/dev/null); compiler: $(x86_64-w64-mingw32-g++-posix -dumpversion) (mingw-w64, posix threads), flags \`$hardening\`"
  echo "- Commit: $commit"
  echo "- Seed of the request campaign: $TESK_CAMPAIGN_SEED; wall time of the whole run: $((finished - started)) s"
  echo
  echo "### 1. Randomised request campaign: $(status requests)"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  figures requests
  echo
  echo "### 2. Eight threads racing into the load attempt: $(status load_race)"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  figures load_race
  echo
  echo "### 3. Hostile environment ($TESK_CAMPAIGN_HOSTILE_SCALE times the rounds of the short run): $(status hostile_environment)"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  figures hostile_environment
  echo
  echo "### 4. Four processes of two threads appending to the library log and a trace file: $(status cross_process)"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  figures cross_process
  echo
  echo "### 5. Benchmarks"
  echo
  echo "Trace call whose level is off, against a plain indirect call ($(status bench_trace_call)):"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  figures bench_trace_call
  echo
  echo "CoDeviceInstall for an ignored request (DIF_SELECTBESTCOMPATDRV) with tracing off, against the five calls it cannot avoid (log token, the scope's category question, three gates) made through the same libraries in the same process: trace library present with every level off ($(status bench_request)), and no trace library at all ($(status bench_request_no_library)):"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  figures bench_request
  figures bench_request_no_library
  echo
  echo "First call of a process, which makes the trace library's load attempt: library beside the program, no library anywhere (both without the configuration service), and found through the configuration service:"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  first_call_figures beside
  first_call_figures none
  first_call_figures service
  echo
  echo "The trace-system library's file writes against a bare \`WriteFile\` and one taking the same byte-range lock, and four threads against one on one file ($(status bench_hub_write)):"
  echo
  echo "| Figure | Value |"
  echo "|---|---|"
  figures bench_hub_write
  echo
  echo "Goals of the benchmarks (a missed goal, timed or not, fails the campaign):"
  echo
  echo "| Goal | Result |"
  echo "|---|---|"
  goals
  echo
  if [ "$failed" -ne 0 ]; then
    echo "**Result: an invariant failed or a goal was missed.** The programs' output is in \`$out\`."
  else
    echo "**Result: every invariant held.**"
  fi
} >"$doc"

# ---- docs/robustness.md: the x86 figures ----
{
  echo
  echo "## The 32-bit module (x86, under WoW64)"
  echo
  if [ "$x86_runs" -eq 0 ]; then
    echo "Skipped: this machine cannot run 32-bit programs."
  else
    echo "The same hardened flags, compiler $(i686-w64-mingw32-g++-posix -dumpversion) (i686), build tree \`$(basename "$x86_build")\`."
    echo
    echo "### x86: randomised request campaign: $(status x86_requests)"
    echo
    echo "| Figure | Value |"
    echo "|---|---|"
    figures x86_requests
    echo
    echo "### x86: eight threads racing into the load attempt: $(status x86_load_race)"
    echo
    echo "| Figure | Value |"
    echo "|---|---|"
    figures x86_load_race
  fi
} >>"$doc"

echo "figures written to $doc ($((finished - started)) s)" >&2
for f in "$out"/*.status; do printf '%-24s %s\n' "$(basename "$f" .status)" "$(cat "$f")" >&2; done
[ -z "$missed" ] || echo "$missed" >&2
exit "$failed"
