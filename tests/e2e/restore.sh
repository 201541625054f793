#!/usr/bin/env bash
# restore under Wine: a backup put back gives a registry identical to before, byte for byte and
# links as links; a planted file is refused with nothing written; a clean killed at a random
# moment, or whose backup fills its disk, is undone by restoring what its backup holds.
#   restore.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

STATS="software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"
FULL_DISK=
release_more() {
  if [ -n "$FULL_DISK" ]; then umount "$FULL_DISK" 2>/dev/null; fi
}

# Values a .reg file cannot carry exactly, and links inside the trees the clean deletes, one in
# the machine's hive and one in the user's, each to a key outside the tree.
seed_exact_values() {
  local key="HKCR\\CLSID\\$GUID\\Exact"
  {
    echo "$key|@|1|61006200"
    echo "$key|unterminated|1|410042004300"
    echo "$key|odd|1|41004200"
    echo "$key|odd|1|410042"
    echo "$key|one byte|2|41"
    echo "$key|empty string|1|"
    echo "$key|empty binary|3|"
    echo "$key|multi|7|610000006200"
    echo "$key|own type|1234|00ff00"
    echo "HKLM\\Software\\TessalineLinkTarget|kept|4|2a000000"
    echo "HKCU\\Software\\TessalineUserTarget|kept|4|2b000000"
    echo "HKCU\\$STATS|@|1|78"
    echo "HKU\\.Default\\$STATS\\iexplore|Type|4|01000000"
  } >"$WINEPREFIX/drive_c/values.txt"
  regtool values 32 'C:\values.txt'
  regtool link 32 "HKCR\\CLSID\\$GUID\\Exact\\ToMachine" 'HKLM\Software\Wow6432Node\TessalineLinkTarget'
  regtool link 32 "HKCU\\$STATS\\ToUser" 'HKCU\Software\TessalineUserTarget'
}

KEYS=("HKCR\\ActiveFormProj1.ActiveFormX" "HKCR\\CLSID\\$GUID" "HKCU\\$STATS"
  "HKU\\.Default\\$STATS" "$DISTRIBUTION_UNIT" "$MODULE_USAGE"
  'HKLM\Software\TessalineLinkTarget' 'HKCU\Software\TessalineUserTarget')
dump() { regtool dump 32 "$@" | tr -d '\r'; }

scenario_round_trip() {
  echo "round trip: clean with a backup, then restore: the registry as before"
  session_begin "$BASE_PREFIX"
  seed_installation
  seed_exact_values
  local before
  before=$(dump "${KEYS[@]}")
  mkdir -p "$WINEPREFIX/drive_c/backups"
  console clean --all-users --backup 'C:\backups\b.reg'
  check "clean: exit status" 0 "$STATUS"
  check "clean: the class is gone" "absent HKCR\\CLSID\\$GUID" "$(dump "HKCR\\CLSID\\$GUID")"
  mkdir -p "$ARTIFACTS"
  cp "$WINEPREFIX/drive_c/backups/b.reg" "$ARTIFACTS/restore-backup.reg"

  console restore 'C:\backups\b.reg'
  check "restore: exit status and stderr" "0 " "$STATUS $(cat "$ERR")"
  check "restore: every key, value and link as before" "$before" "$(dump "${KEYS[@]}")"
  check "restore: prints each key put back as a pair of lines" 1 \
    "$(paste -d'|' - - <"$OUT" | grep -cxF 'HKEY_CLASSES_ROOT|\ActiveFormProj1.ActiveFormX')"
  # A link, not a copy: a value added at its target shows through it.
  echo 'HKLM\Software\TessalineLinkTarget|added|4|01000000' >"$WINEPREFIX/drive_c/added.txt"
  regtool values 32 'C:\added.txt'
  check "restore: the link leads to its target" 1 \
    "$(dump "HKCR\\CLSID\\$GUID\\Exact\\ToMachine" | grep -c '^value added 4 01000000')"

  # Run again, as a deployment's retry would: every key, value and link is as the file holds
  # it, so everything counts as put back and nothing changes.
  local restored
  restored=$(dump "${KEYS[@]}")
  console restore 'C:\backups\b.reg' --json
  check "restore again: exit status and stderr" "0 " "$STATUS $(cat "$ERR")"
  check "restore again: JSON" "restore restored null C:\\backups\\b.reg" \
    "$(jq -r '"\(.action) \(.outcome) \(.message) \(.backup)"' "$OUT")"
  check "restore again: nothing changed" "$restored" "$(dump "${KEYS[@]}")"
  session_end
}

# A file as this program writes one, with one section for KEY holding a string value.
planted_file() {
  {
    printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '; tessaline-clean backup: one section a deleted key, each closed by its end mark' \
      '; Made by tessaline-clean 1.0.0 on 2026-12-09 03:00:00, before these keys were deleted.' '' \
      "[$1]" '"ImagePath"=hex(2):43,00,3a,00,5c,00,78,00,00,00' '; end of key, 1 values' '' |
      iconv -f UTF-8 -t UTF-16LE
  } >"$2"
}

scenario_planted() {
  echo "planted: a file naming a service is refused and nothing is written"
  session_begin "$BASE_PREFIX"
  local service='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\PlantedSvc'
  mkdir -p "$WINEPREFIX/drive_c/ProgramData/Tessaline"
  planted_file "$service" "$WINEPREFIX/drive_c/ProgramData/Tessaline/backup.reg"
  # The same file for one of the control's keys is taken, so the refusal is the name's alone.
  planted_file "HKEY_CURRENT_USER\\$STATS" "$WINEPREFIX/drive_c/same.reg"
  local before
  before=$(dump 'HKLM\System\CurrentControlSet\Services' "HKCU\\$STATS")
  console restore 'C:\ProgramData\Tessaline\backup.reg' --json
  check "planted: exit status" 3 "$STATUS"
  check "planted: JSON" "restore refused 0" \
    "$(jq -r '"\(.action) \(.outcome) \(.keys | length)"' "$OUT")"
  check "planted: stderr names the key" 1 "$(grep -c "not one of the control's: $(
    sed 's/\\/\\\\/g' <<<"$service")" "$ERR")"
  check "planted: nothing written" "$before" \
    "$(dump 'HKLM\System\CurrentControlSet\Services' "HKCU\\$STATS")"
  console restore 'C:\same.reg'
  check "the same file for the control's key: restored" "0 1" \
    "$STATUS $(dump "HKCU\\$STATS" | grep -c '^value ImagePath 2 43003a005c0078000000$')"
  session_end
}

# A file that makes a link inside the control's keys to the machine's Run key, then names a key
# through it with a value: the link may be made, but nothing goes through it.
scenario_link_then_through_it() {
  echo "planted: a link the file makes in the control's keys is never gone through"
  session_begin "$BASE_PREFIX"
  local evil="HKEY_CLASSES_ROOT\\CLSID\\$GUID\\Evil" run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
  {
    printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '; tessaline-clean backup: one section a deleted key, each closed by its end mark' \
      '; Made by tessaline-clean 1.0.0 on 2026-12-09 03:00:00, before these keys were deleted.' '' \
      "; link \"$(sed 's/\\/\\\\/g' <<<"$evil")\" to \"\\\\Registry\\\\Machine\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\"" \
      '; end of key, 0 values' '' \
      "[$evil]" '"Pwned"="C:\\evil.exe"' '; end of key, 1 values' '' |
      iconv -f UTF-8 -t UTF-16LE
  } >"$WINEPREFIX/drive_c/through.reg"
  local before
  before=$(regtool dump 64 "$run" | tr -d '\r')
  console restore 'C:\through.reg'
  check "through a link: exit status" 1 "$STATUS"
  check "through a link: stderr says it is not followed" 1 \
    "$(grep -c 'Evil: not restored: a link, Evil, stands in its path and is not followed' "$ERR")"
  check "through a link: the Run key as it was" "$before" "$(regtool dump 64 "$run" | tr -d '\r')"
  session_end
}

# Module-usage entries of the control, each with a value, and a few of other modules.
seed_many_entries() {
  local count=$1 i
  {
    for i in $(seq -w 1 "$count"); do
      echo "$MODULE_USAGE\\C:/dir-$i/TessalineWeb_EN.ocx|.Owner|1|41004200430044004500460047004800"
      echo "$MODULE_USAGE\\C:/dir-$i/TessalineWeb_EN.ocx|odd|1|410042"
      if ((10#$i % 100 == 0)); then echo "$MODULE_USAGE\\C:/dir-$i/other.ocx|.Owner|1|4100"; fi
    done
  } >"$WINEPREFIX/drive_c/entries.txt"
  regtool values 32 'C:\entries.txt'
}

scenario_killed() {
  echo "killed: a clean over 3,000 entries killed at a random moment, then restore"
  session_begin "$BASE_PREFIX"
  seed_installation
  seed_many_entries 3000
  local before file="$WINEPREFIX/drive_c/killed.reg" threshold pid waited
  before=$(dump "${KEYS[@]:0:6}")
  # Somewhere in the module-usage entries, whose sections take about 300 bytes each.
  threshold=$((20000 + RANDOM * 20))
  wine "$BUILD/tessaline-clean.exe" clean --backup 'C:\killed.reg' >/dev/null 2>&1 &
  pid=$!
  for waited in $(seq 1200); do
    [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -ge "$threshold" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  local gone
  gone=$(dump "$MODULE_USAGE" | grep -c '^key .*TessalineWeb_EN.ocx$')
  echo "  killed after $waited polls at $(stat -c %s "$file") bytes; $gone of 3000 entries left"
  check "killed: the run was stopped midway" 1 "$((gone > 0 && gone < 3000))"
  console restore 'C:\killed.reg'
  check "killed: restore's exit status" 0 "$STATUS"
  check "killed: registry exactly as before" "$before" "$(dump "${KEYS[@]:0:6}")"
  session_end
}

scenario_full_disk() {
  echo "full disk: the backup's folder fills up; what was deleted comes back"
  session_begin "$BASE_PREFIX"
  local folder="$WINEPREFIX/drive_c/full" refused
  mkdir -p "$folder"
  # A tmpfs is open to everyone by default (1777), and the program refuses such a folder. Only
  # root may mount one; elsewhere the scenario cannot run.
  if ! refused=$(mount -t tmpfs -o size=64k,mode=755 tmpfs "$folder" 2>&1); then
    refused=${refused:-mount failed and said nothing}
    skip "full disk: the 64K tmpfs for its backup could not be mounted, which takes root and \
the right to mount (this runs as uid $EUID): ${refused//$'\n'/ }"
    session_end
    return
  fi
  FULL_DISK=$folder
  # Run on the normal disk, the clean would take its backup whole and the checks below would fail
  # for a reason that is not the program's.
  if [ "$(findmnt -rn -o FSTYPE,SIZE --mountpoint "$FULL_DISK")" != "tmpfs 64K" ]; then
    echo "FAIL full disk: mount said it mounted the tmpfs, but $FULL_DISK is not a 64K tmpfs" |
      tee -a "$TOOL_FAILURES" >&2
    umount "$FULL_DISK" 2>/dev/null
    FULL_DISK=
    session_end
    return
  fi
  seed_installation
  seed_many_entries 600
  local before matching
  before=$(dump "${KEYS[@]:0:6}")
  matching=$(dump "$MODULE_USAGE" | grep -ic '^key .*tessalineweb_en\.ocx$')
  console clean --backup 'C:\full\b.reg' --json
  check "full disk: exit status" 3 "$STATUS"
  check "full disk: JSON" "backup-failed C:\\full\\b.reg" "$(jq -r '"\(.outcome) \(.backup)"' "$OUT")"
  # The entries deleted are those the report names; the next one, whose section did not fit, and
  # all after it are still there.
  local deleted left
  deleted=$(jq -r '.keys[] | select(.path | contains("ModuleUsage")) | .path' "$OUT" | wc -l)
  left=$(dump "$MODULE_USAGE" | grep -ic '^key .*tessalineweb_en\.ocx$')
  echo "  $deleted of $matching entries deleted before the disk was full"
  check "full disk: some deleted, the rest kept" "1 $matching" "$((deleted > 0)) $((deleted + left))"
  console restore 'C:\full\b.reg'
  check "full disk: restore's exit status" 0 "$STATUS"
  check "full disk: registry exactly as before" "$before" "$(dump "${KEYS[@]:0:6}")"
  umount "$FULL_DISK"
  FULL_DISK=
  session_end
}

scenario_round_trip
scenario_planted
scenario_link_then_through_it
scenario_killed
scenario_full_disk
finish
