#!/usr/bin/env bash
# Installs the distribution packages the build and the tests need, and nothing else.
# wine32 (the 32-bit loader that runs x86 programs under WoW64) is added only where the kernel runs
# 32-bit programs, and taken out again if it stops `wine` from running 64-bit programs: on such a
# machine it replaces the launcher's loader.
#
#   scripts/install-deps.sh             installs what is missing
#   scripts/install-deps.sh --x86-runs  exit 0 when x86 programs can run here (nothing installed)
#
# TESK_ASSUME_NO_32BIT=1 makes the 32-bit probe fail, as on a kernel without 32-bit support.
set -euo pipefail

# Writes and runs a static i386 ELF that only calls exit(0): one 52-byte header, one PT_LOAD
# segment at 0x08048000 and "mov eax,1; xor ebx,ebx; int 0x80".
kernel_runs_32bit() {
  [ "${TESK_ASSUME_NO_32BIT:-0}" = 1 ] && return 1
  local dir status=0
  dir=$(mktemp -d)
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\064\0\0\0\0\0\0\0\0\0\0\0\064\0\040\0\1\0\0\0\0\0\0\0' >"$dir/probe"
  printf '\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\135\0\0\0\135\0\0\0\5\0\0\0\0\020\0\0' >>"$dir/probe"
  printf '\270\1\0\0\0\061\333\315\200' >>"$dir/probe"
  chmod +x "$dir/probe"
  "$dir/probe" 2>/dev/null || status=1
  rm -rf "$dir"
  return $status
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

if [ "${1:-}" = "--x86-runs" ]; then
  kernel_runs_32bit && installed wine32:i386
  exit
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake ninja-build make
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  wine wine64
  googletest
)

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $sudo apt-get update -qq
  # wine64 is named explicitly so that apt satisfies wine's "wine64 | wine32" with the 64-bit loader.
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

installed wine32:i386 && exit 0
if ! kernel_runs_32bit; then
  echo "install-deps: this machine cannot run 32-bit programs; wine32 not installed, x86 tests will be skipped"
  exit 0
fi

# Runs cmd.exe in a scratch prefix twice: the 64-bit one from system32, the 32-bit one from syswow64.
wine_runs_both() {
  local prefix status=0
  prefix=$(mktemp -d)
  export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
  wine wineboot --init >/dev/null 2>&1 || status=1
  for dir in system32 syswow64; do
    wine "C:\\windows\\$dir\\cmd.exe" /c exit >/dev/null 2>&1 || status=1
  done
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
  return $status
}

echo "install-deps: installing wine32:i386 for the x86 tests"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
if (wine_runs_both); then
  echo "install-deps: wine runs 64-bit and 32-bit programs"
else
  echo "install-deps: with wine32 installed, wine cannot run both 64-bit and 32-bit programs here;" \
       "wine32 removed again, x86 tests will be skipped"
  $sudo apt-get remove -y -qq wine32:i386 >/dev/null
fi
