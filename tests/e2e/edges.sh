#!/usr/bin/env bash
# The registry's edges on the real platform: trees as deep as the registry allows, the longest
# names, a crowded module-usage list, a locked key deep inside a target, and names that take more
# bytes than characters. Each scenario has a prefix of its own.
#   edges.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

CLSID="HKCR\\CLSID\\$GUID"
STATS="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"

# Runs the program on a seeded prefix and presses Enter; leaves the session open.
clean_with() {
  start_program "$1"
  driver key "$CAPTION" enter
}

scenario_deep_trees() {
  echo "deep: a target 512 levels deep, and one named with 255 characters at every level"
  session_begin "$BASE_PREFIX"
  local deep=$CLSID long=$STATS name
  name=$(printf 'n%.0s' $(seq 255))
  # Windows allows 512 levels in all; HKEY_CLASSES_ROOT\CLSID\{...} takes the first three.
  for _ in $(seq 509); do deep+='\d'; done
  # As long as a full path can be: about 32,767 characters.
  for level in $(seq 120); do long+="\\${level}${name:${#level}}"; done
  printf '%s\n' "$deep" "$long" "HKCR\\CLSID\\{00000000-0000-0000-0000-000000000001}" | seed_lines
  check "seeded" "present $deep" "$(echo "$deep" | tee "$WINEPREFIX/drive_c/deep.txt" >/dev/null;
    regtool check 32 'C:\deep.txt' | tr -d '\r')"
  clean_with "$BUILD/TessalineCleaner.exe"
  check "status" "status 'Done!'" "$(wait_status 'Done!')"
  check "log: one pair each" "$(expected_log HKEY_CLASSES_ROOT "\\CLSID\\$GUID" HKEY_CURRENT_USER \
    "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID")" "$(log_text)"
  printf '%s\n' "$CLSID" "$STATS" "HKCR\\CLSID\\{00000000-0000-0000-0000-000000000001}" \
    >"$WINEPREFIX/drive_c/after.txt"
  check "registry" "absent $CLSID
absent $STATS
present HKCR\\CLSID\\{00000000-0000-0000-0000-000000000001}" \
    "$(regtool check 32 'C:\after.txt' | tr -d '\r')"
  session_end
}

scenario_crowded_module_usage() {
  echo "crowded: 10,000 module-usage entries, 100 of them the control's"
  session_begin "$BASE_PREFIX"
  {
    echo "$MODULE_USAGE\\!first/TessalineWeb_EN.ocx"
    echo "$MODULE_USAGE\\~last/tessalineweb_en.OCX"
    for i in $(seq -w 1 20); do echo "$MODULE_USAGE\\adjacent-$i/TessalineWeb_EN.ocx"; done
    for i in $(seq -w 1 9978); do
      case $((10#$i % 128)) in
        64) ((10#$i % 256 == 64)) && echo "$MODULE_USAGE\\C:/dir-$i/TESSALINEWEB_EN.OCX" ||
          echo "$MODULE_USAGE\\C:/dir-$i/tessalineweb_en.ocx|.Owner|x" ;;
        65) echo "$MODULE_USAGE\\C:/dir-$i/TessalineWeb.ocx" ;;
        66) echo "$MODULE_USAGE\\C:/dir-$i/TessalineWeb_EN.oc" ;;
        67) echo "$MODULE_USAGE\\C:/dir-$i/TessalineWeb-EN.ocx" ;;
        *) echo "$MODULE_USAGE\\C:/dir-$i/other.ocx" ;;
      esac
    done
  } | seed_lines
  regtool list 32 "$MODULE_USAGE" | tr -d '\r' >"$LOG.before"
  local matches
  matches=$(grep -ci 'tessalineweb_en\.ocx$' "$LOG.before")
  check "entries" "10000 $matches" "$(wc -l <"$LOG.before") 100"
  clean_with "$BUILD/TessalineCleaner.exe"
  check "status" "status 'Done!'" "$(wait_status 'Done!')"
  # Every match, in the order the registry enumerates them, each as a pair.
  local pairs=()
  while read -r entry; do
    pairs+=(HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\$entry")
  done < <(grep -i 'tessalineweb_en\.ocx$' "$LOG.before")
  check "log" "$(expected_log "${pairs[@]}")" "$(log_text)"
  check "only the matches are gone" "$(grep -vi 'tessalineweb_en\.ocx$' "$LOG.before")" \
    "$(regtool list 32 "$MODULE_USAGE" | tr -d '\r')"
  rm -f "$LOG.before"
  session_end
}

scenario_locked_deep_inside() {
  echo "locked: a key deep inside a target refuses deletion"
  session_begin "$BASE_PREFIX"
  seed_installation
  local locked="$DISTRIBUTION_UNIT\\Contains\\Files\\deeper\\locked"
  printf '%s\n' "$locked\\inner" "$DISTRIBUTION_UNIT\\Contains\\Files\\deeper\\sibling" | seed_lines
  regtool dacl 32 "$locked" "$READ_ONLY"
  clean_with "$BUILD/TessalineCleaner.exe"
  check "notice" "text 'It failed to delte Distribution Unit in Local Machine'" \
    "$(line_of text "$(driver notice "$TITLE")")"
  driver close-notice "$TITLE" ok
  check "status unchanged" "status ''" "$(read_status)"
  check "log keeps the first three targets" "$(expected_log HKEY_CLASSES_ROOT \
    '\ActiveFormProj1.ActiveFormX' HKEY_CLASSES_ROOT "\\CLSID\\$GUID" HKEY_CURRENT_USER \
    "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID")" "$(log_text)"
  # Inside the target what could go went; the locked key keeps its parents. Outside it, the
  # module-usage entries and the neighbours are untouched.
  printf '%s\n' "$locked\\inner" "$DISTRIBUTION_UNIT\\Contains\\Files\\deeper\\sibling" \
    "$DISTRIBUTION_UNIT\\DownloadInformation" >"$WINEPREFIX/drive_c/inside.txt"
  check "inside the target" "present $locked\\inner
absent $DISTRIBUTION_UNIT\\Contains\\Files\\deeper\\sibling
absent $DISTRIBUTION_UNIT\\DownloadInformation" "$(regtool check 32 'C:\inside.txt' | tr -d '\r')"
  check "outside the target" "" "$(regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" |
    tr -d '\r' | grep -E '(ModuleUsage|F65\}|0001\}|FormX2)' | grep '^absent')"
  session_end
}

scenario_utf8_code_page() {
  echo "utf-8: an entry whose name takes more bytes than characters, under the UTF-8 code page"
  session_begin "$BASE_PREFIX"
  local entry='C:/Программы/Загрузки/TessalineWeb_EN.ocx'
  printf '%s\n' "$MODULE_USAGE\\$entry" "$MODULE_USAGE\\C:/x.ocx" | seed_lines
  clean_with "$TEST_BUILDS/TessalineCleanerUtf8.exe"
  check "status" "status 'Done!'" "$(wait_status 'Done!')"
  check "log" "$(expected_log HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\$entry")" "$(log_text)"
  check "entries left" "C:/x.ocx" "$(regtool list 32 "$MODULE_USAGE" | tr -d '\r')"
  session_end
}

scenario_deep_trees
scenario_crowded_module_usage
scenario_locked_deep_inside
scenario_utf8_code_page
finish
