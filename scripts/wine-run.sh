#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build tree, never ~/.wine.
# TESK_WINEPREFIX names the prefix. With TESK_PREFIX_TEMPLATE set, the prefix is laid anew for
# this run as a copy of that template, so a test program has a registry, named objects and
# folders that no other program touches and no earlier run has changed.
# The simulated setupapi.dll next to a program wins over Wine's own.
set -euo pipefail
: "${TESK_WINEPREFIX:?TESK_WINEPREFIX must name a Wine prefix of the build tree}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-setupapi=n;mscoree,mshtml=}"
export WINEARCH=win64

# A 64-bit prefix runs x86 programs (WoW64) once wine32 is installed, but only with the 32-bit
# system DLLs that wineboot puts in syswow64: a prefix made before wine32 came is made again.
prefix_ready() {
  [ -f "$1/.tesk-ready" ] &&
    { [ ! -d /usr/lib/i386-linux-gnu/wine ] || [ -f "$1/drive_c/windows/syswow64/kernel32.dll" ]; }
}

# Initialises the prefix $1 once; concurrent first runs must not initialise it twice.
ensure_prefix() {
  local prefix=$1
  prefix_ready "$prefix" && return 0
  mkdir -p "$prefix"
  exec 9>"$prefix.lock"
  flock 9
  if ! prefix_ready "$prefix"; then
    # wineboot installs through Wine's own setupapi, so the simulation must not be preferred here.
    WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot --init >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wineserver -w
    touch "$prefix/.tesk-ready"
  fi
  flock -u 9
  exec 9>&-
}

if [ -n "${TESK_PREFIX_TEMPLATE:-}" ]; then
  ensure_prefix "$TESK_PREFIX_TEMPLATE"
  # A server left from an earlier run of this program must not serve the new copy.
  WINEPREFIX="$TESK_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$TESK_WINEPREFIX"
  mkdir -p "$(dirname "$TESK_WINEPREFIX")"
  # Hard links keep the copy cheap (the template holds some 700 MB of system DLLs, never written);
  # the registry files, which the server rewrites, are copied for real.
  cp -al "$TESK_PREFIX_TEMPLATE" "$TESK_WINEPREFIX"
  for hive in "$TESK_WINEPREFIX"/*.reg; do
    rm -f "$hive"
    cp "$TESK_PREFIX_TEMPLATE/${hive##*/}" "$hive"
  done
else
  ensure_prefix "$TESK_WINEPREFIX"
fi
export WINEPREFIX="$TESK_WINEPREFIX"
# A server that lingers between the short programs of one run: a program that starts while an
# idle server is shutting down can fail to connect.
wineserver -p30 >/dev/null 2>&1 || true
exec wine "$@"
