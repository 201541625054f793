#!/usr/bin/env bash
# Backs up one 64 MB value with "tessaline-clean clean --backup" under Wine and prints the peak
# working set of the program's process (the largest resident size of the Wine process that runs
# it), next to the value's size. Prints the figures; it passes or fails nothing.
#   backup-memory-benchmark.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
TOOLS=$(cd "$(dirname "$0")/.." && pwd)
source "$TOOLS/wine-env.sh"
source "$TOOLS/cleaner-session.sh"
trap 'wine_end_prefix' EXIT
wine_throwaway_prefix
megabytes=64
key='HKCU\software\Microsoft\Windows\CurrentVersion\Ext\Stats\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}'
# One binary value of 64 MB, its bytes as hex, in the form regtool sets values from.
{
  printf '%s|big|3|' "$key"
  head -c $((megabytes * 1024 * 1024)) /dev/zero | tr '\0' '\253' | od -An -v -tx1 | tr -d ' \n'
  echo
} >"$WINEPREFIX/drive_c/value.txt"
regtool values 32 'C:\value.txt'
rm "$WINEPREFIX/drive_c/value.txt"
wineserver -w
wine "$BUILD/tessaline-clean.exe" --version >/dev/null
# The Wine process becomes the program's, so its largest resident size is the program's peak.
/usr/bin/time -f '%M' -o "$WINEPREFIX/peak.txt" \
  wine "$BUILD/tessaline-clean.exe" clean --backup 'C:\b.reg' >/dev/null
peak=$(tail -1 "$WINEPREFIX/peak.txt")
size=$(stat -c %s "$WINEPREFIX/drive_c/b.reg")
printf '%-40s %10s\n' "value backed up" "$megabytes MB"
printf '%-40s %10s\n' "backup file" "$((size / 1024 / 1024)) MB"
printf '%-40s %10s\n' "peak working set of clean --backup" "$((peak / 1024)) MB"
echo "  peak working set against the value: $(awk -v p="$peak" -v m="$megabytes" \
  'BEGIN { printf "%.1f", p / 1024 / m }')x"
