#!/usr/bin/env bash
# The registry's edges on the real platform: trees as deep as the registry allows, the longest
# names, a crowded module-usage list, a locked key deep inside a target, symbolic links, and names
# in any script, which take more bytes than characters. Each scenario has a prefix of its own.
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
  usage_pairs < <(grep -i 'tessalineweb_en\.ocx$' "$LOG.before")
  check "log" "$(expected_log "${PAIRS[@]}")" "$(log_text)"
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
  local outside='(ModuleUsage|F65\}|0001\}|FormX2)'
  check "outside the target" \
    "$(cut -d'|' -f1 "$TOOLS/demo-installation.txt" | grep -E "$outside" | sed 's/^/present /')" \
    "$(regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" | tr -d '\r' |
      grep -E "$outside")"
  session_end
}

scenario_long_log() {
  echo "long log: 300 entries with long names, a log far past the log box's default limit"
  session_begin "$BASE_PREFIX"
  local padding
  padding=$(printf 'p%.0s' $(seq 110))
  for i in $(seq -w 1 300); do
    echo "$MODULE_USAGE\\C:/$i-$padding/TessalineWeb_EN.ocx"
  done | seed_lines
  regtool list 32 "$MODULE_USAGE" | tr -d '\r' >"$LOG.before"
  clean_with "$BUILD/TessalineCleaner.exe"
  check "status" "status 'Done!'" "$(wait_status 'Done!')"
  usage_pairs <"$LOG.before"
  check "log: 600 lines" "600 $(printf '%s\n' "${PAIRS[@]}" | wc -c)" \
    "$(wc -l <"$LOG") $(tr -d '\r' <"$LOG" | wc -c)"
  check "log: every line" "$(expected_log "${PAIRS[@]}")" "$(log_text)"
  rm -f "$LOG.before"
  session_end
}

scenario_links() {
  echo "links: inside a target, as a target, as an entry; to keys that must stay, a loop, nowhere"
  session_begin "$BASE_PREFIX"
  local precious='HKCU\Software\Precious' entry='C:/linked/TessalineWeb_EN.ocx'
  printf '%s\n' "$precious\inner\deep" "$precious-class\sub" "$precious-entry\sub" \
    "$STATS\iexplore\AllowedDomains\*" "$MODULE_USAGE\C:/x.ocx" | seed_lines
  regtool link 32 "$STATS\iexplore\to-precious" "$precious"
  regtool link 32 "$STATS\loop" 'HKCU\Software\Microsoft\Windows\CurrentVersion\Ext\Stats'
  regtool link 32 "$STATS\dangling" 'HKCU\Software\Nowhere'
  regtool link 32 "$CLSID" "$precious-class"
  regtool link 32 "$MODULE_USAGE\\$entry" "$precious-entry"
  clean_with "$BUILD/TessalineCleaner.exe"
  check "status" "status 'Done!'" "$(wait_status 'Done!')"
  check "log: the links are logged as the keys they stand for" "$(expected_log \
    HKEY_CLASSES_ROOT "\\CLSID\\$GUID" HKEY_CURRENT_USER \
    "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID" \
    HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\$entry")" "$(log_text)"
  printf '%s\n' "$CLSID" "$STATS" "$MODULE_USAGE\\$entry" "$precious\\inner\\deep" \
    "$precious-class\\sub" "$precious-entry\\sub" \
    'HKCU\Software\Microsoft\Windows\CurrentVersion\Ext\Stats' >"$WINEPREFIX/drive_c/after.txt"
  check "registry: the links are gone, what they pointed at stays" "absent $CLSID
absent $STATS
absent $MODULE_USAGE\\$entry
present $precious\\inner\\deep
present $precious-class\\sub
present $precious-entry\\sub
present HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats" \
    "$(regtool check 32 'C:\after.txt' | tr -d '\r')"
  check "entries left" "C:/x.ocx" "$(regtool list 32 "$MODULE_USAGE" | tr -d '\r')"
  session_end
}

# Names in Cyrillic, in Japanese and beyond the Basic Multilingual Plane, as entries and inside a
# target, one of them 255 characters long; run in the locale given.
scenario_any_script() {
  echo "scripts: names in any script, deleted and logged as stored, in the $1 locale"
  session_begin "$BASE_PREFIX"
  local long entry entries=('C:/Программы/Загрузки/TessalineWeb_EN.ocx'
    'C:/プログラム/ダウンロード/TessalineWeb_EN.ocx' 'C:/😀/𝄞𠀋/TessalineWeb_EN.ocx')
  long=$(printf 'あ%.0s' $(seq 255))
  {
    for entry in "${entries[@]}" 'C:/Программы/other.ocx'; do echo "$MODULE_USAGE\\$entry"; done
    printf '%s\n' "$STATS\\Сайты\\日本語\\😀" "$STATS\\$long"
  } | seed_lines
  regtool list 32 "$MODULE_USAGE" | tr -d '\r' >"$LOG.before"
  check "seeded: every name reads back as written" "4 present $STATS\\$long" \
    "$(grep -c -F -e "${entries[0]}" -e "${entries[1]}" -e "${entries[2]}" -e other "$LOG.before") $(
      echo "$STATS\\$long" >"$WINEPREFIX/drive_c/long.txt"
      regtool check 32 'C:\long.txt' | tr -d '\r')"
  start_program "$BUILD/TessalineCleaner.exe" LANG="$1" LC_ALL="$1"
  driver key "$CAPTION" enter
  check "status" "status 'Done!'" "$(wait_status 'Done!')"
  usage_pairs < <(grep 'TessalineWeb_EN\.ocx$' "$LOG.before")
  check "log" "$(expected_log HKEY_CURRENT_USER \
    "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID" "${PAIRS[@]}")" "$(log_text)"
  check "entries left" "C:/Программы/other.ocx" "$(regtool list 32 "$MODULE_USAGE" | tr -d '\r')"
  echo "$STATS" >"$WINEPREFIX/drive_c/after.txt"
  check "target gone" "absent $STATS" "$(regtool check 32 'C:\after.txt' | tr -d '\r')"
  rm -f "$LOG.before"
  session_end
}

scenario_deep_trees
scenario_crowded_module_usage
scenario_locked_deep_inside
scenario_long_log
scenario_links
scenario_any_script en_US.UTF-8
scenario_any_script ja_JP.UTF-8
finish
