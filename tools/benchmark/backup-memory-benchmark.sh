#!/usr/bin/env bash
# Backs up one 64 MB value with "tessaline-clean clean --backup" under Wine, then puts it back with
# "tessaline-clean restore", and prints the peak working set of each (the largest resident size of
# the Wine process that runs the program) next to the value's size, and the bound restore keeps:
# three times the value, and the program's own base (its peak when it only prints its version).
# Then restores a backup of 200,000 keys, none of which it can put back (their user's hive is not
# loaded, nor named in ProfileList), and prints its peak: what it tells of each key goes out as it
# goes, so the file's size does not show. Prints the figures; it passes or fails nothing.
#   backup-memory-benchmark.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
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
# The Wine process becomes the program's, so its largest resident size is the program's peak, in
# kilobytes.
peak_of() {
  /usr/bin/time -f '%M' -o "$WINEPREFIX/peak.txt" \
    wine "$BUILD/tessaline-clean.exe" "$@" >"$WINEPREFIX/output.txt"
  tail -1 "$WINEPREFIX/peak.txt"
}
before=$(regtool dump 32 "$key" | tr -d '\r' | md5sum)
base=$(peak_of --version)
backup=$(peak_of clean --backup 'C:\b.reg')
size=$(stat -c %s "$WINEPREFIX/drive_c/b.reg")
restore=$(peak_of restore 'C:\b.reg')
after=$(regtool dump 32 "$key" | tr -d '\r' | md5sum)
printf '%-40s %10s\n' "value backed up" "$megabytes MB"
printf '%-40s %10s\n' "backup file" "$((size / 1024 / 1024)) MB"
printf '%-40s %10s\n' "peak working set of --version (base)" "$((base / 1024)) MB"
printf '%-40s %10s\n' "peak working set of clean --backup" "$((backup / 1024)) MB"
printf '%-40s %10s\n' "peak working set of restore" "$((restore / 1024)) MB"
printf '%-40s %10s\n' "the value back, byte for byte" "$([ "$before" == "$after" ] && echo yes || echo NO)"
echo "  clean --backup against the value: $(awk -v p="$backup" -v m="$megabytes" \
  'BEGIN { printf "%.1f", p / 1024 / m }')x"
echo "  restore above its base, against the value: $(awk -v p="$restore" -v b="$base" \
  -v m="$megabytes" 'BEGIN { printf "%.2f", (p - b) / 1024 / m }')x (bound: 3x)"

# The heading restore reads, then a section a key below a user's class.
sections=200000
{
  printf '\xff\xfe'
  {
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '; tessaline-clean backup: one section a deleted key, each closed by its end mark' ''
    awk -v n="$sections" 'BEGIN { for (i = 0; i < n; i++) printf "[HKEY_USERS\\S-1-5-21-9-9-9-9_Classes\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}\\%08d]\r\n; end of key, 0 values\r\n\r\n", i }'
  } | iconv -f UTF-8 -t UTF-16LE
} >"$WINEPREFIX/drive_c/many.reg"
many=$(/usr/bin/time -f '%M' -o "$WINEPREFIX/peak.txt" wine "$BUILD/tessaline-clean.exe" restore \
  'C:\many.reg' >"$WINEPREFIX/output.txt" 2>"$WINEPREFIX/errors.txt" || true
  tail -1 "$WINEPREFIX/peak.txt")
printf '%-40s %10s\n' "restore of $sections keys not put back" "$((many / 1024)) MB"
printf '%-40s %10s\n' "  its lines on standard error" "$(wc -l <"$WINEPREFIX/errors.txt")"
printf '%-40s %10s\n' "  the backup file" "$(($(stat -c %s "$WINEPREFIX/drive_c/many.reg") / 1024 / 1024)) MB"
