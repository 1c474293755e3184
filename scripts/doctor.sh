#!/usr/bin/env bash
# Runs the installation doctor of a build tree (x64, or x86 under WoW64) under Wine against the
# bench's copy of the module, in a prefix of its own that holds the configuration of a traced
# installation: the co-installer's category at level 16 into a file, the service switched off,
# the device's co-installer list naming the module.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: doctor.sh <build dir> [doctor options]}" && pwd)
shift
export TESK_PREFIX_TEMPLATE="$build/wineprefix"
export TESK_WINEPREFIX="$build/prefixes/doctor"

# The library reads the 32-bit view, which a 64-bit prefix keeps below Wow6432Node.
config=$(mktemp --suffix=.reg)
trap 'rm -f "$config"' EXIT
list=$(printf 'TeskCoInstaller.dll,CoDeviceInstall\0\0' | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
cat > "$config" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Korvan Mirel Compact]
"LocbaseActive"="aus"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Korvan Mirel Compact\\KvTraceHub]
"Enabled"=dword:00000001
"Level.TESK.CoInstall"=dword:00000010
"File.TESK.CoInstall"="C:\\\\windows\\\\temp\\\\TeskCoInstall.log"
"Level.TESK.CoInstall.Dump"=dword:00000008
"File.TESK.CoInstall.Dump"="C:\\\\windows\\\\temp\\\\TeskCoInstall.log"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{50DD5230-BA8A-11D1-BF5D-0000F805F530}\\0000]
"CoInstallers32"=hex(7):$list
REG
"$here/wine-run.sh" regedit /S "Z:$config"
# The prefix as just configured, not laid anew.
unset TESK_PREFIX_TEMPLATE
# Exit code as the doctor's: 1 when the report names a problem.
exec "$here/wine-run.sh" "$build/doctor/TeskDoctor.exe" --module "Z:$build/bench/payload/TeskCoInstaller.dll" \
  --host "Z:$build/bench/bench.exe" "$@"
