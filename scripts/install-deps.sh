#!/usr/bin/env bash
# Installs the distribution packages the build and the tests need, and nothing else.
# wine32 is never installed: its 32-bit loader cannot run here and it would replace the wine launcher.
set -euo pipefail

packages=(
  cmake ninja-build make
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  wine wine64
  googletest
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# wine64 is named explicitly so that apt satisfies wine's "wine64 | wine32" with the 64-bit loader.
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
