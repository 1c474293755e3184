#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix, never ~/.wine.
# The prefix is created on first use; the simulated setupapi.dll next to a test program wins over Wine's own.
set -euo pipefail
: "${TESK_WINEPREFIX:?TESK_WINEPREFIX must name the Wine prefix of the build tree}"
export WINEPREFIX="$TESK_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-setupapi=n;mscoree,mshtml=}"
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/.tesk-ready" ]; then
  mkdir -p "$WINEPREFIX"
  # Concurrent first runs (parallel ctest) must not initialise the prefix twice.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.tesk-ready" ]; then
    # wineboot installs through Wine's own setupapi, so the simulation must not be preferred here.
    WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot --init >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.tesk-ready"
  fi
  flock -u 9
fi
# A server that lingers between the short test programs: a program that starts while an idle
# server is shutting down can fail to connect.
wineserver -p30 >/dev/null 2>&1 || true
exec wine "$@"
