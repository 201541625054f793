#!/usr/bin/env bash
# The console program under Wine, as a deployment script runs it: its output, its exit statuses,
# its JSON, and a backup that "reg import" turns back into exactly what was deleted.
#   console.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

STATS="software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"
OUT=$(mktemp)
ERR=$(mktemp)
trap 'session_end; rm -f "$LOG" "$LOG.expected" "$TOOL_FAILURES" "$OUT" "$ERR" "$OUT.status"' EXIT

# Runs the program; STATUS, and its output in OUT and ERR without the console's CRs.
console() {
  STATUS=0
  wine "$BUILD/tessaline-clean.exe" "$@" >"$OUT.raw" 2>"$ERR.raw" || STATUS=$?
  tr -d '\r' <"$OUT.raw" >"$OUT"
  tr -d '\r' <"$ERR.raw" >"$ERR"
  rm -f "$OUT.raw" "$ERR.raw"
  # For runs in a subshell, whose STATUS is lost.
  echo "$STATUS" >"$OUT.status"
}

# The pairs of lines the clean logs for the demo installation, with every loaded user's key.
expected_pairs() {
  printf '%s\n' HKEY_CLASSES_ROOT '\ActiveFormProj1.ActiveFormX' \
    HKEY_CLASSES_ROOT "\\CLSID\\$GUID" \
    HKEY_CURRENT_USER "\\$STATS"
  [ "${1:-}" == all-users ] && printf '%s\n' HKEY_USERS "\\.Default\\$STATS"
  printf '%s\n' HKEY_LOCAL_MACHINE "\\software\\Microsoft\\Code Store Database\\Distribution Units\\$GUID" \
    HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\C:/WINDOWS/Downloaded Program Files/TessalineWeb_EN.ocx" \
    HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\C:/WINDOWS/system32/TESSALINEWEB_EN.OCX" \
    HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\d:/old/tessalineweb_en.ocx"
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
  check "check: lines" "$(expected_pairs all-users)" "$(cat "$OUT")"
  check "check: nothing on stderr" "" "$(cat "$ERR")"
  check "check: changed nothing" "$before" "$(dump)"
  console check
  check "check without every user" "$(expected_pairs)" "$(cat "$OUT")"

  console check --all-users --json
  check "check --json: exit status" 1 "$STATUS"
  check "check --json: outcome" "check present 8" \
    "$(jq -r '"\(.action) \(.outcome) \(.keys | length)"' "$OUT")"
  check "check --json: the class's counts" "\\CLSID\\$GUID 11 19" \
    "$(jq -r '.keys[1] | "\(.path) \(.subkeys) \(.values)"' "$OUT")"

  mkdir -p "$WINEPREFIX/drive_c/ProgramData/Tessaline"
  console clean --all-users --backup 'C:\ProgramData\Tessaline\backup.reg'
  check "clean: exit status" 0 "$STATUS"
  check "clean: lines" "$(expected_pairs all-users; echo 'Done!')" "$(cat "$OUT")"
  check "clean: nothing on stderr" "" "$(cat "$ERR")"
  check "clean: every key gone" "$(printf 'absent %s\n' "${DUMPED[@]}")" "$(dump)"
  check "clean: the 64-bit view untouched" \
    "$(cut -d'|' -f1 "$TOOLS/demo-installation-64.txt" | sed 's/^/present /')" \
    "$(regtool check 64 "$(winepath -w "$TOOLS/demo-installation-64.txt")" | tr -d '\r')"
  mkdir -p "$ARTIFACTS"
  cp "$WINEPREFIX/drive_c/ProgramData/Tessaline/backup.reg" "$ARTIFACTS/backup.reg"

  console check --all-users
  check "check again: exit status" 0 "$STATUS"
  check "check again: nothing printed" "" "$(cat "$OUT")"
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
  check "stop: the earlier pairs on stdout" "$(expected_pairs | head -6)" "$(cat "$OUT")"
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
  check "missing folder: nothing on stdout" "" "$(cat "$OUT")"
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

scenario_check_clean_restore
scenario_stop
scenario_usage_and_backup_failures
finish
