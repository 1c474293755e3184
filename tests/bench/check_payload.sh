#!/usr/bin/env bash
# dist/ holds the driver-package payload: the INF fragment and the guide, and for each
# architecture every file the fragment copies (module, trace library, configuration server),
# built for that architecture.
set -uo pipefail
dist=${1:?usage: check_payload.sh <dist dir>}
inf="$dist/TeskCoInstaller.inf"
failed=0
for f in "$inf" "$dist/GUIDE.md"; do
  [ -f "$f" ] || { echo "missing: $f"; failed=1; }
done
[ -f "$inf" ] || exit 1
grep -q '^HKR,,CoInstallers32,0x00010000,"TeskCoInstaller.dll,CoDeviceInstall"' "$inf" || { echo "no CoInstallers32 entry in $inf"; failed=1; }
grep -Eq '^TESK_Reader.CoInstaller.CopyFiles *= *11' "$inf" || { echo "CopyFiles does not go to DIRID 11"; failed=1; }
# Each [SourceDisksFiles.<platform>] line "file = 1,<subdir>" names a file that must be there.
checked=0
while IFS='|' read -r platform file subdir; do
  path="$dist/$subdir/$file"
  case "$platform" in x86) format=pei-i386 ;; amd64) format=pei-x86-64 ;; *) format=unknown ;; esac
  if [ ! -f "$path" ]; then
    echo "missing: $path"; failed=1
  elif ! x86_64-w64-mingw32-objdump -f "$path" | grep -q "file format $format"; then
    echo "wrong architecture: $path is not $format"; failed=1
  fi
  checked=$((checked + 1))
done < <(awk '
  /^\[/ { section = $0; next }
  section ~ /^\[SourceDisksFiles\./ && /^[A-Za-z0-9_.]+ *= *1,/ {
    platform = section; sub(/^\[SourceDisksFiles\./, "", platform); sub(/\].*/, "", platform)
    split($0, kv, "="); file = kv[1]; gsub(/ /, "", file)
    split(kv[2], parts, ","); subdir = parts[2]; gsub(/[ \r]/, "", subdir)
    print platform "|" file "|" subdir
  }' "$inf")
[ "$checked" -eq 6 ] || { echo "expected 3 files for each of x86 and amd64 in $inf, found $checked lines"; failed=1; }
grep -q '^11,,KvLocbaseService.dll,1' "$inf" || { echo "the configuration server is not registered by $inf"; failed=1; }
[ "$failed" -eq 0 ] && echo "payload complete: $checked files for x86 and amd64"
exit $failed
