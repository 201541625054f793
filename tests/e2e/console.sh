#!/usr/bin/env bash
# The console program under Wine, as a deployment script runs it: its output, its exit statuses,
# its JSON, its run log, and a backup that "reg import" turns back into exactly what was deleted.
#   console.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

STATS="software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"

# The lines of the keys the clean deletes in the demo installation, with every loaded user's key.
expected_keys() {
  {
  printf '%s\n' HKEY_CLASSES_ROOT '\ActiveFormProj1.ActiveFormX' \
    HKEY_CLASSES_ROOT "\\CLSID\\$GUID" \
    HKEY_CURRENT_USER "\\$STATS"
  [ "${1:-}" == all-users ] && printf '%s\n' HKEY_USERS "\\.Default\\$STATS"
  printf '%s\n' HKEY_LOCAL_MACHINE "\\software\\Microsoft\\Code Store Database\\Distribution Units\\$GUID" \
    HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\C:/WINDOWS/Downloaded Program Files/TessalineWeb_EN.ocx" \
    HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\C:/WINDOWS/system32/TESSALINEWEB_EN.OCX" \
    HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\d:/old/tessalineweb_en.ocx"
  } | joined
}

# Every key the clean deletes, as the dump names them.
DUMPED=("HKCR\\ActiveFormProj1.ActiveFormX" "HKCR\\CLSID\\$GUID" "HKCU\\$STATS"
  "HKU\\.Default\\$STATS" "$DISTRIBUTION_UNIT"
  "$MODULE_USAGE\\C:/WINDOWS/Downloaded Program Files/TessalineWeb_EN.ocx"
  "$MODULE_USAGE\\C:/WINDOWS/system32/TESSALINEWEB_EN.OCX" "$MODULE_USAGE\\d:/old/tessalineweb_en.ocx")
dump() { regtool dump 32 "${DUMPED[@]}" | tr -d '\r'; }
seed_state() { regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" | tr -d '\r'; }

# Values of every kind a .reg file carries exactly, in a key the clean deletes, and the loaded
# default user's statistics key.
seed_values() {
  local key="HKCR\\CLSID\\$GUID\\Values"
  local big
  big=$(head -c 1048576 /dev/urandom | od -An -v -tx1 | tr -d ' \n')
  {
    echo "$key|@|1|6400650066000000"
    echo "$key|quote\"back\\slash|1|43003a005c002200780022000000"
    echo "$key|名前 émoji 😀|1|e565ac672e8a203d3dd800de0000"
    echo "$key|zeros|1|610000006200000000000000"
    echo "$key|expand|2|2500410025000000"
    echo "$key|multi|7|6100000062000000000000"
    echo "$key|dword|4|78563412"
    echo "$key|qword|11|0100000000000080"
    echo "$key|binary|3|dead00beef"
    echo "$key|none|0|"
    echo "$key|typed|32|0102"
    echo "$key|big|3|$big"
    echo "HKU\\.Default\\$STATS\\iexplore|Type|4|01000000"
  } >"$WINEPREFIX/drive_c/values.txt"
  regtool values 32 'C:\values.txt'
  seed_lines <<<"HKCR\\CLSID\\$GUID\\Values\\Empty"
}

scenario_check_clean_restore() {
  echo "check, clean with a backup, check again, restore"
  session_begin "$BASE_PREFIX"
  seed_installation
  seed_values
  local before
  mkdir -p "$ARTIFACTS"
  before=$(dump)
  printf '%s\n' "$before" | cut -c1-200 >"$ARTIFACTS/dump-before-clean.txt"

  console check --all-users
  check "check: exit status" 1 "$STATUS"
  check "check: lines" "$(expected_keys all-users; echo "8 keys of $CONTROL are present.")" \
    "$(cat "$OUT")"
  check "check: nothing on stderr" "" "$(cat "$ERR")"
  check "check: changed nothing" "$before" "$(dump)"
  console check
  check "check without every user" "$(expected_keys; echo "7 keys of $CONTROL are present.")" \
    "$(cat "$OUT")"

  console check --all-users --json
  check "check --json: exit status" 1 "$STATUS"
  check "check --json: outcome" "check present 8" \
    "$(jq -r '"\(.action) \(.outcome) \(.keys | length)"' "$OUT")"
  check "check --json: the class's counts" "\\CLSID\\$GUID 11 19" \
    "$(jq -r '.keys[1] | "\(.path) \(.subkeys) \(.values)"' "$OUT")"

  mkdir -p "$WINEPREFIX/drive_c/ProgramData/Tessaline"
  console clean --all-users --backup 'C:\ProgramData\Tessaline\backup.reg'
  check "clean: exit status" 0 "$STATUS"
  check "clean: lines" "$(expected_keys all-users
    echo 'Done! 8 keys deleted; backup: C:\ProgramData\Tessaline\backup.reg')" "$(cat "$OUT")"
  check "clean: nothing on stderr" "" "$(cat "$ERR")"
  check "clean: every key gone" "$(printf 'absent %s\n' "${DUMPED[@]}")" "$(dump)"
  check "clean: the 64-bit view untouched" \
    "$(cut -d'|' -f1 "$TOOLS/demo-installation-64.txt" | sed 's/^/present /')" \
    "$(regtool check 64 "$(winepath -w "$TOOLS/demo-installation-64.txt")" | tr -d '\r')"
  mkdir -p "$ARTIFACTS"
  cp "$WINEPREFIX/drive_c/ProgramData/Tessaline/backup.reg" "$ARTIFACTS/backup.reg"

  console check --all-users
  check "check again: exit status" 0 "$STATUS"
  check "check again: nothing present" "Nothing of $CONTROL is present." "$(cat "$OUT")"
  console clean --all-users --json
  check "clean again: JSON" "clean done 0" \
    "$(jq -r '"\(.action) \(.outcome) \(.keys | length)"' "$OUT")"

  local status=0
  wine reg import 'C:\ProgramData\Tessaline\backup.reg' /reg:32 >/dev/null 2>&1 || status=$?
  check "reg import: exit status" 0 "$status"
  check "restore: every key, value name, type and byte as before" "$before" "$(dump)"
  session_end
}

scenario_stop() {
  echo "stop: a distribution unit that may only be read"
  session_begin "$BASE_PREFIX"
  seed_installation
  regtool dacl 32 "$DISTRIBUTION_UNIT" "$READ_ONLY"
  console clean
  check "stop: exit status" 1 "$STATUS"
  check "stop: the notice on stderr" "It failed to Open Distribution Unit in Local Machine" \
    "$(cat "$ERR")"
  check "stop: the earlier keys on stdout" \
    "$(expected_keys | head -3; echo 'Stopped: 3 keys deleted; no backup')" "$(cat "$OUT")"
  console clean --json
  check "stop: JSON" "stopped|It failed to Open Distribution Unit in Local Machine|0" \
    "$(jq -r '"\(.outcome)|\(.message)|\(.keys | length)"' "$OUT")"
  session_end
}

scenario_usage_and_backup_failures() {
  echo "wrong usage and an unwritable backup change nothing"
  session_begin "$BASE_PREFIX"
  seed_installation
  local before
  before=$(seed_state)
  local arguments
  for arguments in "" "remove" "check --backup C:\\b.reg" "clean --backup" "clean --yes" \
    "--all-users check"; do
    # shellcheck disable=SC2086
    console $arguments
    check "usage '$arguments': exit status" 2 "$STATUS"
    check "usage '$arguments': stdout empty" "" "$(cat "$OUT")"
    check "usage '$arguments': usage on stderr" 1 "$(grep -c '^  tessaline-clean check' "$ERR")"
  done
  check "usage: registry unchanged" "$before" "$(seed_state)"

  console clean --backup 'C:\no such folder\backup.reg'
  check "missing folder: exit status" 3 "$STATUS"
  check "missing folder: nothing deleted" "$before" "$(seed_state)"
  check "missing folder: no key on stdout" "Stopped: 0 keys deleted; no backup" "$(cat "$OUT")"
  mkdir -p "$WINEPREFIX/drive_c/a folder"
  console clean --backup 'C:\a folder' --json
  check "a folder as the file: exit status" 3 "$STATUS"
  check "a folder as the file: JSON, no file made" "backup-failed|null" \
    "$(jq -r '"\(.outcome)|\(.backup)"' "$OUT")"
  check "a folder as the file: nothing deleted" "$before" "$(seed_state)"

  # A backup named in another script, given relative to the working folder: the report and
  # the restore command name it in full.
  mkdir -p "$WINEPREFIX/drive_c/バックアップ"
  (cd "$WINEPREFIX/drive_c/バックアップ" && LC_ALL=C.UTF-8 console clean --backup 'ファイル.reg' --json)
  check "a name in another script: exit status and file" "0 C:\\バックアップ\\ファイル.reg" \
    "$(cat "$OUT.status") $(jq -r .backup "$OUT")"
  check "a name in another script: the restore command" 1 "$(iconv -f UTF-16LE -t UTF-8 \
    "$WINEPREFIX/drive_c/バックアップ/ファイル.reg" | grep -c 'reg import "C:\\バックアップ\\ファイル.reg" /reg:32')"

  console --help
  check "help: exit status" 0 "$STATUS"
  check "help: exit-status table" 1 "$(grep -c '^  3  the backup could not be written' "$OUT")"
  console --version
  check "version" "0 tessaline-clean ${TESSALINE_VERSION:?}" "$STATUS $(cat "$OUT")"
  session_end
}

# What a standard user could plant where the backup goes: files, links, hard links, folders
# that lead elsewhere or that others may write. Under Wine, Unix symbolic links stand in for the
# platform's links, and a folder's rights come from its mode bits.
scenario_planted_backup_places() {
  echo "the backup goes only to a new file, in a folder only the program can change"
  session_begin "$BASE_PREFIX"
  seed_installation
  local before c=$WINEPREFIX/drive_c
  before=$(seed_state)
  mkdir -p "$c/t/elsewhere/inside" "$c/t/open"
  echo "planted" >"$c/t/exists.reg"
  echo "victim" >"$c/t/victim.txt"
  ln -s "$c/t/new-victim.dll" "$c/t/dangling.reg"
  ln -s "$c/t/victim.txt" "$c/t/link.reg"
  ln "$c/t/victim.txt" "$c/t/hard.reg"
  ln -s "$c/t/elsewhere" "$c/t/linked"
  ln -s "$c/t/nowhere" "$c/t/dangling"
  chmod 777 "$c/t/open"
  # Each plant, the option it is given to and why the program refuses it, in Wine's words for the
  # platform's statuses and accounts; Windows words them its own way.
  local plant option place reason
  while IFS='|' read -r option plant reason; do
    place="C:\\t\\$plant"
    console clean "$option" "$place" --json
    check "$option $plant: exit status, outcome, no file named" "3 backup-failed null" \
      "$STATUS $(jq -r '"\(.outcome) \(.backup)"' "$OUT")"
    check "$option $plant: the reason" "The backup failed: $reason" "$(jq -r .message "$OUT" |
      sed 's/\. The key it was for.*//')"
  done <<'PLANTS'
--backup|exists.reg|C:\t\exists.reg exists already
--backup|dangling.reg|C:\t\dangling.reg exists already
--backup|link.reg|C:\t\link.reg exists already
--backup|hard.reg|C:\t\hard.reg exists already
--backup|linked\b.reg|C:\t\linked leads elsewhere through a link
--backup|linked\inside\b.reg|C:\t\linked\inside leads elsewhere through a link
--backup|open\b.reg|C:\t\open is not safe for a backup: S-1-1-0 (Everyone) may change what it holds
--backup|exists.reg:stream|C:\t\exists.reg:stream is not a plain file or folder name
--backup|NUL|C:\t\NUL is not a plain file or folder name
--backup-dir|linked|C:\t\linked leads elsewhere through a link
--backup-dir|linked\made\deeper|C:\t\linked leads elsewhere through a link
--backup|dangling\b.reg|the folder C:\t\dangling cannot be found: File not found (error 2)
--backup-dir|dangling|cannot make the folder C:\t\dangling: File already exists (error 183)
--backup-dir|exists.reg\made|C:\t\exists.reg is not a folder
--backup-dir|open|C:\t\open is not safe for a backup: S-1-1-0 (Everyone) may change what it holds
--backup-dir|open\made|C:\t\open is not safe for a backup: S-1-1-0 (Everyone) may change what it holds
PLANTS
  check "plants: nothing deleted" "$before" "$(seed_state)"
  check "plants: nothing written through them" "planted victim victim" \
    "$(cat "$c/t/exists.reg" "$c/t/victim.txt" "$c/t/hard.reg" | tr '\n' ' ' | sed 's/ $//')"
  check "plants: nothing made where they lead" "" \
    "$(find "$c/t/elsewhere" "$c/t/open" -mindepth 1 ! -name inside
      ls -d "$c/t/new-victim.dll" "$c/t/nowhere" 2>/dev/null)"

  # A folder made for the backups, with the folders missing above it; each run a file of its own.
  console clean --backup-dir 'C:\Program Files\Tessaline\backups' --json
  check "--backup-dir: exit status" 0 "$STATUS"
  local name
  name=$(jq -r .backup "$OUT")
  check "--backup-dir: the file's name" 1 \
    "$(grep -cE '^C:\\Program Files\\Tessaline\\backups\\tessaline-backup-[0-9]{8}T[0-9]{6}Z-[0-9]+\.reg$' <<<"$name")"
  check "--backup-dir: the restore command names it" 1 \
    "$(iconv -f UTF-16LE -t UTF-8 "$(winepath -u "$name")" | grep -cF "reg import \"$name\" /reg:32")"
  check "--backup-dir: every key gone" "$(printf 'absent %s\n' "${DUMPED[@]}")" "$(dump)"
  seed_installation
  console clean --backup-dir 'C:\Program Files\Tessaline\backups' --json
  check "--backup-dir again: a new file beside the first" "0 2" \
    "$STATUS $(ls "$c/Program Files/Tessaline/backups" | wc -l)"
  session_end
}

# Options taken for a backup's place, and a report that cannot be written.
scenario_loose_ends() {
  echo "a backup option without its value, and standard output that takes nothing"
  session_begin "$BASE_PREFIX"
  seed_installation
  local before
  before=$(seed_state)
  local arguments
  for arguments in "clean --backup --all-users --json" "clean --backup= --json" \
    "clean --backup-dir --json"; do
    # shellcheck disable=SC2086
    (cd "$WINEPREFIX/drive_c" && console $arguments)
    check "usage '$arguments': exit status" 2 "$(cat "$OUT.status")"
  done
  console clean --backup "" --json
  check "usage 'clean --backup \"\"': exit status" 2 "$STATUS"
  check "usage: nothing deleted" "$before" "$(seed_state)"
  check "usage: no file named after an option" "" "$(ls "$WINEPREFIX/drive_c" | grep -e '^-')"

  local status=0
  wine "$BUILD/tessaline-clean.exe" clean --json >/dev/full 2>"$ERR" || status=$?
  check "full standard output: exit status" 4 "$status"
  check "full standard output: said on stderr" 1 \
    "$(grep -c 'the output could not be written to standard output' "$ERR")"
  check "full standard output: the run went on to its end" \
    "$(printf 'absent %s\n' "${DUMPED[@]}")" "$(dump)"
  seed_installation
  status=0
  wine "$BUILD/tessaline-clean.exe" clean >&- 2>"$ERR" || status=$?
  check "closed standard output: exit status" 4 "$status"
  check "closed standard output: the run went on to its end" \
    "$(printf 'absent %s\n' "${DUMPED[@]}")" "$(dump)"
  session_end
}

# Per-user registrations, the current user's and another loaded user's: Wine's HKEY_CLASSES_ROOT
# is the machine's classes alone, so the user's copies are reached only by their own names.
scenario_user_classes() {
  echo "per-user class registrations: the user's, each loaded user's, then the machine's"
  session_begin "$BASE_PREFIX"
  seed_installation
  local hive=S-1-5-21-1000-1000-1000-1001_Classes user_progid user_clsid
  user_progid='HKCU\Software\Classes\ActiveFormProj1.ActiveFormX'
  user_clsid="HKCU\\Software\\Classes\\CLSID\\$GUID"
  printf '%s\n' "$user_progid\\CurVer||ActiveFormProj1.ActiveFormX.1" \
    "$user_clsid\\InprocServer32||C:\\Users\\u\\TessalineWeb_EN.ocx" \
    "HKU\\$hive\\ActiveFormProj1.ActiveFormX\\Clsid||$GUID" "HKU\\$hive\\CLSID\\$GUID\\ProgID" \
    "HKU\\$hive\\CLSID\\{other}" 'HKCU\Software\Classes\CLSID\{other}' | seed_lines
  local expected
  expected=$(printf '%s\n' HKEY_CURRENT_USER '\Software\Classes\ActiveFormProj1.ActiveFormX' \
    HKEY_USERS "\\$hive\\ActiveFormProj1.ActiveFormX" \
    HKEY_CLASSES_ROOT '\ActiveFormProj1.ActiveFormX' \
    HKEY_CURRENT_USER "\\Software\\Classes\\CLSID\\$GUID" \
    HKEY_USERS "\\$hive\\CLSID\\$GUID" \
    HKEY_CLASSES_ROOT "\\CLSID\\$GUID" \
    HKEY_CURRENT_USER "\\$STATS" | joined)
  console check --all-users
  check "check: the user's copies and the hive's in order" "$expected" "$(head -7 "$OUT")"
  console clean --all-users
  check "clean: exit status" 0 "$STATUS"
  check "clean: the user's copies and the hive's in order" "$expected" "$(head -7 "$OUT")"
  check "clean: done" 'Done!' "$(tail -1 "$OUT" | cut -d' ' -f1)"
  printf '%s\n' "$user_progid" "$user_clsid" "HKU\\$hive\\ActiveFormProj1.ActiveFormX" \
    "HKU\\$hive\\CLSID\\$GUID" "HKU\\$hive\\CLSID\\{other}" 'HKCU\Software\Classes\CLSID\{other}' \
    >"$WINEPREFIX/drive_c/after.txt"
  check "clean: the copies gone, their neighbours kept" "absent $user_progid
absent $user_clsid
absent HKU\\$hive\\ActiveFormProj1.ActiveFormX
absent HKU\\$hive\\CLSID\\$GUID
present HKU\\$hive\\CLSID\\{other}
present HKCU\\Software\\Classes\\CLSID\\{other}" "$(regtool check 32 'C:\after.txt' | tr -d '\r')"
  session_end
}

# A standard user's logon run after an administrator's clean: the list stays, with other modules'
# entries, and may only be read.
scenario_read_only_module_usage() {
  echo "a module-usage list that may only be read and holds nothing of the control"
  session_begin "$BASE_PREFIX"
  printf '%s\n' "HKCU\\$STATS\\iexplore" "$MODULE_USAGE\\C:/WINDOWS/system32/other.ocx|.Owner|x" |
    seed_lines
  regtool dacl 32 "$MODULE_USAGE" "$READ_ONLY"
  console check
  check "check: the list's entries not listed" \
    "$(printf '%s\n' "HKEY_CURRENT_USER\\$STATS" "1 key of $CONTROL is present.")" "$(cat "$OUT")"
  console clean
  check "clean: exit status" 0 "$STATUS"
  check "clean: done" "$(printf '%s\n' "HKEY_CURRENT_USER\\$STATS" 'Done! 1 key deleted; no backup')" \
    "$(cat "$OUT")"
  check "clean: nothing on stderr" "" "$(cat "$ERR")"
  check "clean: the list kept" "C:/WINDOWS/system32/other.ocx" \
    "$(regtool list 32 "$MODULE_USAGE" | tr -d '\r')"
  regtool dacl 32 "$MODULE_USAGE" 'D:(A;;KA;;;WD)'
  seed_lines <<<"$MODULE_USAGE\\C:/x/TessalineWeb_EN.ocx"
  regtool dacl 32 "$MODULE_USAGE" "$READ_ONLY"
  console clean
  check "clean with the control's entry: exit 1 and the list's notice" \
    "1 It failed to Open Module Usage in Local Machine" "$STATUS $(cat "$ERR")"
  session_end
}

# A user links a name in the middle of the path to the hive's statistics to a key of the machine:
# that key stays, named, and the run goes on to the machine's keys.
scenario_link_out_of_a_hive() {
  echo "a link in the middle of a hive's path, to a key of the machine"
  session_begin "$BASE_PREFIX"
  local victim='HKLM\Software\Wow6432Node\Victim'
  printf '%s\n' "HKCU\\$STATS\\iexplore" "$DISTRIBUTION_UNIT\\Contains" >"$WINEPREFIX/drive_c/own.txt"
  regtool seed 32 'C:\own.txt'
  printf '%s\n' "$victim\\$GUID\\data|v|precious" >"$WINEPREFIX/drive_c/victim.txt"
  regtool seed 64 'C:\victim.txt'
  regtool link 32 'HKU\.Default\Software\Microsoft\Windows\CurrentVersion\Ext\Stats' "$victim"
  mkdir -p "$WINEPREFIX/drive_c/ProgramData/Tessaline"
  console clean --all-users --backup 'C:\ProgramData\Tessaline\link.reg'
  check "link: exit status" 1 "$STATUS"
  check "link: stderr names the key kept, and no Done!" \
    "$(printf '%s\n' "Kept HKEY_USERS\\.Default\\$STATS of .Default: it leads out of the hive .Default, to \\REGISTRY\\Machine\\Software\\Wow6432Node\\Victim\\$GUID" \
      "The clean went to its end, but what is named above was not cleaned.")" "$(cat "$ERR")"
  check "link: the user's own key and the machine's went" \
    "$(printf '%s\n' "HKEY_CURRENT_USER\\$STATS" \
      "HKEY_LOCAL_MACHINE\\software\\Microsoft\\Code Store Database\\Distribution Units\\$GUID" \
      'Not finished: 2 keys deleted, 1 key kept; backup: C:\ProgramData\Tessaline\link.reg')" \
    "$(cat "$OUT")"
  printf '%s\n' "$victim\\$GUID\\data" >"$WINEPREFIX/drive_c/after.txt"
  check "link: the victim stays" "present $victim\\$GUID\\data" \
    "$(regtool check 64 'C:\after.txt' | tr -d '\r')"
  check "link: the victim is not in the backup" 0 "$(iconv -f UTF-16LE -t UTF-8 \
    "$WINEPREFIX/drive_c/ProgramData/Tessaline/link.reg" | grep -c -i 'victim\|precious')"
  session_end
}

# An installer writes an entry naming the control once the clean has listed the list and begun
# deleting: the clean lists it again, and says done only when a listing holds none.
scenario_late_entry() {
  echo "an entry written while the clean runs"
  session_begin "$BASE_PREFIX"
  for i in $(seq -w 1 2000); do echo "$MODULE_USAGE\\C:/n-$i/TessalineWeb_EN.ocx"; done | seed_lines
  local late="$MODULE_USAGE\\C:/late/TessalineWeb_EN.ocx"
  wine "$BUILD/regtool.exe" late 32 "$MODULE_USAGE\\C:/n-0001/TessalineWeb_EN.ocx" "$late" \
    >"$LOG.late" 2>&1 &
  local writer=$!
  for _ in $(seq 300); do grep -q waiting "$LOG.late" && break; sleep 0.2; done
  console clean
  wait "$writer" || echo "FAIL the late writer" | tee -a "$TOOL_FAILURES" >&2
  check "late: exit status" 0 "$STATUS"
  check "late: its deletion shown before Done!" \
    "$(printf '%s\n' "HKEY_LOCAL_MACHINE$LOGGED_MODULE_USAGE\\C:/late/TessalineWeb_EN.ocx" \
      'Done! 2001 keys deleted; no backup')" "$(tail -n 2 "$OUT")"
  check "late: the list is empty" "" "$(regtool list 32 "$MODULE_USAGE" | tr -d '\r')"
  session_end
}

# Names a user chose to reorder or hide text, or to spell an escape, are shown so that neither
# can pass for another name: escaped, a spelled escape's backslash included.
scenario_shown_names() {
  echo "names that reorder, hide or spell an escape"
  session_begin "$BASE_PREFIX"
  local hidden
  hidden=$(printf 'C:/a\xe2\x80\xae\xe2\x80\x8b\xe2\x81\xa6\xef\xbb\xbf/TessalineWeb_EN.ocx')
  printf '%s\n' "$MODULE_USAGE\\$hidden" "$MODULE_USAGE\\u001b/TessalineWeb_EN.ocx" | seed_lines
  console check
  check "shown names: escaped, and a spelled escape shown apart" "$(printf '%s\n' \
    "HKEY_LOCAL_MACHINE$LOGGED_MODULE_USAGE\\C:/a\\u202e\\u200b\\u2066\\ufeff/TessalineWeb_EN.ocx" \
    "HKEY_LOCAL_MACHINE$LOGGED_MODULE_USAGE\\u005cu001b/TessalineWeb_EN.ocx" \
    "2 keys of $CONTROL are present.")" "$(cat "$OUT")"
  session_end
}

# The run log under Wine: CMTrace records, appended, rolled over past a link it replaces, and
# refused through a link, a second name or a folder every user may change. Wine keeps no owners:
# a folder a user made first is refused for its owner, as folder_trust_test shows on Linux.
scenario_run_log() {
  echo "the run log: CMTrace records, appended, rolled over, never through a link"
  session_begin "$BASE_PREFIX"
  seed_installation
  local c=$WINEPREFIX/drive_c log record plant reason
  log="$c/windows/logs/Tessaline/tessaline-clean.log"
  record='^<!\[LOG\[.*\]LOG\]!><time="[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\+000" date="[0-9]{2}-[0-9]{2}-[0-9]{4}" component="tessaline-clean" context="" type="[123]" thread="[0-9]+" file="">'$'\r''$'
  console clean --all-users
  check "log: every line a record, a key a line, the status last" "0 0 7 1" "$STATUS $(grep -cvE \
    "$record" "$log") $(grep -c '^<!\[LOG\[Deleted ' "$log") $(tail -1 "$log" | grep -c 'ended: done')"
  console clean --no-log
  console clean
  check "log: none with --no-log, the second run appended" 2 "$(grep -c 'Command line: clean' "$log")"
  echo victim >"$c/victim.txt"
  ln -s "$c/victim.txt" "${log%g}_"
  truncate -s 2620000 "$log"
  seed_installation
  console clean
  check "roll-over: the full log replaced the link, the run went on in a new one" "0 victim 1 1" \
    "$STATUS $(cat "$c/victim.txt") $([ -f "${log%g}_" ] && [ ! -L "${log%g}_" ] &&
      [ "$(stat -c %s "${log%g}_")" -le 2621440 ] && echo 1) $(grep -c 'clean ended: done' "$log")"
  mkdir -p -m 777 "$c/t/open"
  ln -s "$c/victim.txt" "$c/t/link.log"
  ln "$c/victim.txt" "$c/t/hard.log"
  seed_installation
  while IFS='|' read -r plant reason; do
    console clean --log "C:\\t\\$plant"
    check "log $plant: said once on stderr, the clean as it would be" "0 1 Done!" \
      "$STATUS $(grep -c "^tessaline-clean: the log cannot be written, .*$reason" "$ERR") $(tail -1 "$OUT" | cut -d' ' -f1)"
  done <<'PLANTS'
link.log|leads elsewhere through a link
hard.log|has another name as well
open\r.log|S-1-1-0 (Everyone) may change what it holds
PLANTS
  rm -rf "${log%/*}"
  mkdir -m 777 "${log%/*}"
  console clean
  check "log: a default folder every user may change refused, nothing written through a plant" \
    "0 1 victim" "$STATUS $(grep -c 'Tessaline is not safe for a log: S-1-1-0 (Everyone) may' "$ERR") $(cat "$c/victim.txt")"
  session_end
}

# The class's server names a file left on disk, which is named and stays; the module-usage entries
# name files that are not there, which are not named.
scenario_files_left() {
  echo "the control's file left on disk is named, never deleted"
  session_begin "$BASE_PREFIX"
  seed_installation
  local c=$WINEPREFIX/drive_c
  local file="$c/windows/Downloaded Program Files/TessalineWeb_EN.ocx"
  local path='C:\windows\Downloaded Program Files\TessalineWeb_EN.ocx'
  mkdir -p "${file%/*}"
  echo control >"$file"
  console check
  check "files: check names the one on disk alone, after the keys" "1 File left on disk: $path" \
    "$(grep -c '^File left on disk' "$OUT") $(tail -2 "$OUT" | head -1)"
  console check --json
  check "files: the JSON's files" "$path" "$(jq -r '.files | join("|")' "$OUT")"
  console clean
  check "files: clean names it before Done!" "0 File left on disk: $path|Done!" \
    "$STATUS $(tail -2 "$OUT" | sed 's/^Done!.*/Done!/' | paste -sd'|')"
  check "files: the log names it" 1 \
    "$(grep -cF "File left on disk: $path" "$c/windows/logs/Tessaline/tessaline-clean.log")"
  check "files: the file stays" control "$(cat "$file")"
  session_end
}

scenario_check_clean_restore
scenario_files_left
scenario_run_log
scenario_stop
scenario_usage_and_backup_failures
scenario_planted_backup_places
scenario_loose_ends
scenario_user_classes
scenario_read_only_module_usage
scenario_link_out_of_a_hive
scenario_late_entry
scenario_shown_names
finish
