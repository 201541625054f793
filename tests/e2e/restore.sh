#!/usr/bin/env bash
# restore under Wine: a backup put back gives a registry identical to before, byte for byte and
# links as links, and again without a change; a planted file is refused with nothing written; a
# clean killed at a random moment, or whose backup reaches its volume's reserve, is undone by
# restoring what its backup holds, and one that deleted nothing leaves no file.
#   restore.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

STATS="software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"

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
  regtool link 32 "HKCU\\$STATS\\Nowhere" -
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
  check "restore: prints each key put back as its line, then the count and the file" "1 1" \
    "$(grep -cxF 'HKEY_CLASSES_ROOT\ActiveFormProj1.ActiveFormX' "$OUT") $(tail -1 "$OUT" |
      grep -cE '^Restored [0-9]+ keys from C:\\backups\\b\.reg$')"
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
  # Somewhere in the module-usage entries, whose sections take about 300 bytes each: past the
  # first batch written ahead of its deletions (100 entries), before the last.
  threshold=$((100000 + RANDOM * 16))
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
  # 3,001 with the installation's own entry.
  check "killed: the run was stopped midway" 1 "$((gone > 0 && gone < 3001))"
  console restore 'C:\killed.reg'
  check "killed: restore's exit status" 0 "$STATUS"
  check "killed: registry exactly as before" "$before" "$(dump "${KEYS[@]:0:6}")"
  session_end
}

scenario_restore_killed() {
  echo "restore killed: a restore killed part way, run again, leaves the registry as before"
  session_begin "$BASE_PREFIX"
  seed_installation
  seed_many_entries 3000
  local before written
  before=$(dump "${KEYS[@]:0:6}")
  console clean --backup 'C:\\whole.reg'
  check "restore killed: the clean's exit status" 0 "$STATUS"
  # Killed somewhere among the entries: the file is read twice, the second time written.
  timeout -s KILL "0.$((RANDOM % 5 + 4))" wine "$BUILD/tessaline-clean.exe" restore 'C:\\whole.reg' \
    >/dev/null 2>&1 || true
  written=$(dump "$MODULE_USAGE" | grep -c '^key .*TessalineWeb_EN.ocx$')
  echo "  killed with $written of 3000 entries back"
  console restore 'C:\\whole.reg'
  check "restore killed: run again, exit status and stderr" "0 " "$STATUS $(cat "$ERR")"
  check "restore killed: registry exactly as before" "$before" "$(dump "${KEYS[@]:0:6}")"
  session_end
}

scenario_small_volume() {
  echo "small volume: a backup never takes its volume below the reserve; nothing deleted, no file"
  session_begin "$BASE_PREFIX"
  if mount_volume "$WINEPREFIX/drive_c/small" 64 "small volume"; then
    seed_installation
    local before
    before=$(dump "${KEYS[@]:0:6}")
    console clean --backup 'C:\small\b.reg' --json
    check "small volume: exit status" 3 "$STATUS"
    check "small volume: JSON" "backup-failed null 0" \
      "$(jq -r '"\(.outcome) \(.backup) \(.keys | length)"' "$OUT")"
    check "small volume: stderr says why" 1 "$(grep -c 'less than 256 MB free' "$ERR")"
    check "small volume: nothing deleted" "$before" "$(dump "${KEYS[@]:0:6}")"
    check "small volume: no file left" "" "$(ls -A "$FULL_DISK")"
  fi
  unmount_volume
  session_end
}

scenario_full_disk() {
  echo "full disk: the backup stops at the reserve of its volume; what was deleted comes back"
  session_begin "$BASE_PREFIX"
  # Room for the reserve and a few sections more.
  local reserve=$((256 * 1024)) folder="$WINEPREFIX/drive_c/full"
  if mount_volume "$folder" $((reserve + 96)) "full disk"; then
    seed_installation
    seed_many_entries 600
    local before matching
    before=$(dump "${KEYS[@]:0:6}")
    matching=$(dump "$MODULE_USAGE" | grep -ic '^key .*tessalineweb_en\.ocx$')
    console clean --backup 'C:\full\b.reg' --json
    check "full disk: exit status" 3 "$STATUS"
    check "full disk: JSON" "backup-failed C:\\full\\b.reg" \
      "$(jq -r '"\(.outcome) \(.backup)"' "$OUT")"
    check "full disk: stderr says why" 1 "$(grep -c 'less than 256 MB free' "$ERR")"
    check "full disk: the reserve kept" 1 \
      "$(($(df -B1 --output=avail "$folder" | tail -1) >= reserve * 1024))"
    # The entries deleted are those the report names; the next one, whose section could have gone
    # below the reserve, and all after it are still there.
    local deleted left
    deleted=$(jq -r '.keys[] | select(.path | contains("ModuleUsage")) | .path' "$OUT" | wc -l)
    left=$(dump "$MODULE_USAGE" | grep -ic '^key .*tessalineweb_en\.ocx$')
    echo "  $deleted of $matching entries deleted before the reserve was reached"
    check "full disk: some deleted, the rest kept" "1 1 $matching" \
      "$((deleted > 0)) $((left > 0)) $((deleted + left))"
    console restore 'C:\full\b.reg'
    check "full disk: restore's exit status" 0 "$STATUS"
    check "full disk: registry exactly as before" "$before" "$(dump "${KEYS[@]:0:6}")"
  fi
  unmount_volume
  session_end
}

# A genuine backup with its class's server changed to a program of the user's, as a standard user
# would edit one, left where restore is told to read it. Under Wine a file's or folder's rights
# come from its Unix mode, so a mode that lets everyone write stands for an access list that does.
scenario_where_it_lies() {
  echo "where it lies: a backup others could have changed is refused whole; a safe one is taken"
  session_begin "$BASE_PREFIX"
  seed_installation
  mkdir -p "$WINEPREFIX/drive_c/backups"
  console clean --backup 'C:\backups\b.reg'
  check "where it lies: the clean's exit status" 0 "$STATUS"
  local cleaned edited="$WINEPREFIX/drive_c/edited.reg"
  cleaned=$(dump "${KEYS[@]:0:6}")
  iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/backups/b.reg" |
    sed 's/^@="C:\\\\windows\\\\Downloaded Program Files\\\\TessalineWeb_EN\.ocx"\r$/@="C:\\\\Users\\\\Public\\\\evil.dll"\r/I' |
    iconv -f UTF-8 -t UTF-16LE >"$edited"
  check "where it lies: the edit took" 1 "$(iconv -f UTF-16LE -t UTF-8 "$edited" | grep -c 'evil.dll')"
  local place
  # A folder every user may write (with and without the sticky bit of %ProgramData%), and a
  # file every user may write in a folder that is safe.
  for place in open:1777:644 shared:0777:644 safe:0755:666; do
    IFS=: read -r folder folderMode fileMode <<<"$place"
    mkdir -p "$WINEPREFIX/drive_c/$folder"
    cp "$edited" "$WINEPREFIX/drive_c/$folder/b.reg"
    chmod "$folderMode" "$WINEPREFIX/drive_c/$folder"
    chmod "$fileMode" "$WINEPREFIX/drive_c/$folder/b.reg"
    console restore "C:\\$folder\\b.reg" --json
    check "where it lies, $folder ($folderMode, file $fileMode): refused" "3 refused 0" \
      "$STATUS $(jq -r '"\(.outcome) \(.keys | length)"' "$OUT")"
    check "where it lies, $folder: stderr says who may change it" 1 \
      "$(grep -c 'may change what it holds' "$ERR")"
    check "where it lies, $folder: nothing written" "$cleaned" "$(dump "${KEYS[@]:0:6}")"
  done
  # Taken through a link, or with a name of its own elsewhere, it is not the file it seems.
  ln -s "$WINEPREFIX/drive_c/backups/b.reg" "$WINEPREFIX/drive_c/safe/linked.reg"
  ln "$WINEPREFIX/drive_c/backups/b.reg" "$WINEPREFIX/drive_c/safe/twice.reg"
  local name why
  for name in 'linked.reg|leads elsewhere through a link' 'twice.reg|has another name as well' \
    'b.reg:stream|is not a plain file name' 'NUL|is not a plain file name'; do
    IFS='|' read -r name why <<<"$name"
    console restore "C:\\safe\\$name"
    check "where it lies, $name: refused" "3 1" "$STATUS $(grep -c "$why" "$ERR")"
  done
  check "where it lies: still nothing written" "$cleaned" "$(dump "${KEYS[@]:0:6}")"
  # The same edited file where only its owner may write is taken: the file's place, not its text,
  # was what kept it out.
  chmod 644 "$WINEPREFIX/drive_c/safe/b.reg"
  console restore 'C:\safe\b.reg'
  # "evil.dll" in UTF-16, as the dump shows a value's bytes.
  check "where it lies: a safe place is taken" "0 1" \
    "$STATUS $(dump "HKCR\\CLSID\\$GUID\\InprocServer32" | grep -c '6500760069006c002e0064006c006c00')"
  session_end
}

# A value name longer than the platform takes, in a file as the program writes one: the key is
# named and kept back, never written under a shorter name.
scenario_long_name() {
  echo "long name: a value name longer than the platform takes is left out, not cut"
  session_begin "$BASE_PREFIX"
  local name
  name=$(head -c 40000 /dev/zero | tr '\0' 'v')
  {
    printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '; tessaline-clean backup: one section a deleted key, each closed by its end mark' '' \
      "[HKEY_CURRENT_USER\\$STATS]" "\"$name\"=dword:00000001" '"short"=dword:00000002' \
      '; end of key, 2 values' '' | iconv -f UTF-8 -t UTF-16LE
  } >"$WINEPREFIX/drive_c/long.reg"
  console restore 'C:\long.reg'
  check "long name: exit status and the key named" "1 1" \
    "$STATUS $(grep -c 'longer than the platform takes' "$ERR")"
  check "long name: no value of another name" "value short 4 02000000" \
    "$(dump "HKCU\\$STATS" | grep '^value ')"
  session_end
}

scenario_round_trip
scenario_where_it_lies
scenario_long_name
scenario_planted
scenario_link_then_through_it
scenario_killed
scenario_restore_killed
scenario_small_volume
scenario_full_disk
finish
