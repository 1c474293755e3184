#!/usr/bin/env bash
# Static checks of the shipped binaries of both architectures: the exact export table, imports
# from Windows system DLLs only, the version resource, the machine type, and for the x86
# co-installer the stdcall frame of its export.
# usage: check_binaries.sh <dist dir> <x86 build dir> <expected exports dir> <version text>
set -uo pipefail
dist=$1 x86_build=$2 expected_dir=$3 version=$4
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Windows system DLLs a shipped binary may import; anything else (libstdc++, libgcc, winpthread) is a packaging fault.
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|setupapi|cfgmgr32|msvcrt|ntdll|rpcrt4|version|api-ms-win-.*)\.dll$'

# UTF-16LE byte pattern of a text, for grep -P over the resource section.
utf16() { printf '%s' "$1" | sed 's/./&\\x00/g'; }
has_version_value() { LC_ALL=C grep -qaP "$(utf16 "$2")\\x00+(\\x00\\x00)*$(utf16 "$3")" "$1"; }

checked=0
for arch in x86 x64; do
  case $arch in
    x86) objdump=i686-w64-mingw32-objdump machine='pei-i386' ;;
    x64) objdump=x86_64-w64-mingw32-objdump machine='pei-x86-64' ;;
  esac
  for expected in "$expected_dir"/*.txt; do
    name=$(basename "$expected" .txt)
    dll="$dist/$arch/$name"
    if [ ! -f "$dll" ]; then fail "$arch/$name is missing from dist"; continue; fi
    checked=$((checked + 1))
    dump=$($objdump -p "$dll")
    $objdump -f "$dll" | grep -q "file format $machine" || fail "$arch/$name is not $machine"

    actual=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
    want=$(grep -v '^#' "$expected" | sed '/^$/d' | sort)
    [ "$actual" = "$want" ] || fail "$arch/$name exports differ: got [$(echo $actual)] want [$(echo $want)]"

    while read -r import; do
      lower=$(printf '%s' "$import" | tr 'A-Z' 'a-z')
      [[ $lower =~ $allowed ]] || fail "$arch/$name imports $import"
    done < <(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')

    has_version_value "$dll" CompanyName Korvan || fail "$arch/$name: no CompanyName Korvan"
    has_version_value "$dll" OriginalFilename "$name" || fail "$arch/$name: OriginalFilename is not $name"
    LC_ALL=C grep -qaP "$(utf16 FileDescription)" "$dll" || fail "$arch/$name: no FileDescription"
    has_version_value "$dll" FileVersion "$version" || fail "$arch/$name: FileVersion is not $version"
    has_version_value "$dll" ProductVersion "$version" || fail "$arch/$name: ProductVersion is not $version"
  done
done

# The x86 export is stdcall with four arguments: every return of it must pop 16 bytes.
co="$x86_build/coinstaller/TeskCoInstaller.dll"
rets=$(i686-w64-mingw32-objdump -d --disassemble=_CoDeviceInstall@16 "$co" | grep -E '\sret' || true)
if [ -z "$rets" ]; then
  fail "x86 CoDeviceInstall@16 not found in $co"
elif printf '%s\n' "$rets" | grep -vq 'ret\s*\$0x10'; then
  fail "x86 CoDeviceInstall does not return with ret \$0x10: $rets"
fi

echo "checked $checked binaries: $failures failures"
[ "$failures" -eq 0 ]
