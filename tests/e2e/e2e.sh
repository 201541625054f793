#!/usr/bin/env bash
# The real program under Wine on the virtual display, driven from outside as a user would, with
# the registry checked afterwards. Each scenario has a prefix of its own.
#   e2e.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

scenario_window() {
  echo "window: layout, placement, focus and keys"
  session_begin "$BASE_PREFIX"
  start_program "$BUILD/TessalineCleaner.exe"
  local layout
  layout=$(driver layout "$CAPTION")
  check "client size" "client 469 184" "$(line_of client "$layout")"
  check "controls" "control Static 'Deleted Key' 8 40 62 12 tabstop 0
control Button 'Clean' 8 8 75 25 tabstop 1
control Edit '' 8 56 449 81 tabstop 1
control msctls_statusbar32 '' 0 165 469 19 tabstop 0" "$(line_of control "$layout")"
  check "frame" "sizable 0 minimize 0 maximize 0 toolwindow 1" "$(line_of sizable "$layout")"
  check "log box" "memo readonly 1 wrap 0 scrollbars 0" "$(line_of memo "$layout")"
  check "status bar" "status simple 1 grip 0" "$(line_of status "$layout")"
  check "focus at start" "focus Button 'Clean'" "$(line_of focus "$layout")"
  check "taskbar entry" "owner '$TITLE' visible 1" "$(line_of owner "$layout")"
  read -r _ screenWidth screenHeight <<<"$(line_of screen "$layout")"
  read -r _ left top width height <<<"$(line_of frame "$layout")"
  check "centred" "$(((screenWidth - width) / 2)) $(((screenHeight - height) / 2))" "$left $top"

  driver key "$CAPTION" tab
  check "tab" "focus Edit ''" "$(driver wait-focus "$CAPTION" Edit)"
  # What a key must not do is seen once a later key's effect shows: the window's thread takes keys
  # in order, and a run a key started goes to its end before the next key is taken.
  driver key "$CAPTION" x
  driver key "$CAPTION" shift-tab
  driver wait-focus "$CAPTION" Button >/dev/null
  read_status >/dev/null
  check "typing changes nothing" "" "$(cat "$LOG")"
  driver key "$CAPTION" tab
  driver wait-focus "$CAPTION" Edit >/dev/null
  # A run would say "Done!" even here, where there is nothing to delete.
  driver key "$CAPTION" enter
  driver key "$CAPTION" shift-tab
  check "shift-tab" "focus Button 'Clean'" "$(driver wait-focus "$CAPTION" Button)"
  check "enter in the log starts no run" "status ''" "$(read_status)"
  check "status empty at start" "status ''" "$(read_status)"
  # Esc must leave the focus on the button, where the space after it presses it.
  driver key "$CAPTION" esc
  driver key "$CAPTION" space
  check "space on the button starts a run" "status 'Done!'" "$(wait_status 'Done!')"
  check "esc does nothing" "focus Button 'Clean'" "$(line_of focus "$(driver layout "$CAPTION")")"

  driver close "$CAPTION"
  wait_program_end
  check "exit status" 0 $?
  session_end
}

scenario_clean() {
  echo "clean: a seeded installation, cleaned by Enter"
  session_begin "$BASE_PREFIX"
  seed_installation
  start_program "$BUILD/TessalineCleaner.exe"
  driver key "$CAPTION" enter
  check "status" "status 'Done!'" "$(wait_status 'Done!')"
  local usage=$LOGGED_MODULE_USAGE
  check "log" "$(expected_log HKEY_CLASSES_ROOT '\ActiveFormProj1.ActiveFormX' \
    HKEY_CLASSES_ROOT "\\CLSID\\$GUID" \
    HKEY_CURRENT_USER "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID" \
    HKEY_LOCAL_MACHINE "\\software\\Microsoft\\Code Store Database\\Distribution Units\\$GUID" \
    HKEY_LOCAL_MACHINE "$usage\\C:/WINDOWS/Downloaded Program Files/TessalineWeb_EN.ocx" \
    HKEY_LOCAL_MACHINE "$usage\\C:/WINDOWS/system32/TESSALINEWEB_EN.OCX" \
    HKEY_LOCAL_MACHINE "$usage\\d:/old/tessalineweb_en.ocx")" "$(log_text)"
  screenshot "$ARTIFACTS/after-clean.png"

  # Every seeded key below a target or a matching entry is gone; every other one stays.
  local gone="^HKCR\\\\ActiveFormProj1\\.ActiveFormX(\\\\|$)|$GUID|TessalineWeb_EN\\.ocx(\\\\|$)|TESSALINEWEB_EN\\.OCX|tessalineweb_en\\.ocx"
  local expected
  expected=$(cut -d'|' -f1 "$TOOLS/demo-installation.txt" | while read -r key; do
    if grep -qE "$gone" <<<"$key" && ! grep -q 'F65}\|0001}' <<<"$key"; then
      echo "absent $key"
    else
      echo "present $key"
    fi
  done)
  check "32-bit view" "$expected" "$(regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" | tr -d '\r')"
  check "64-bit view" "$(cut -d'|' -f1 "$TOOLS/demo-installation-64.txt" | sed 's/^/present /')" \
    "$(regtool check 64 "$(winepath -w "$TOOLS/demo-installation-64.txt")" | tr -d '\r')"

  local before
  before=$(regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" | tr -d '\r')
  driver key "$CAPTION" space
  # The status says "Done!" from the first run already; the run empties the log first, and the
  # window answers only once the run is over.
  driver wait-empty-log "$CAPTION"
  check "second run status" "status 'Done!'" "$(wait_status 'Done!')"
  # The first run's lines are gone, so this run cleared the log and then had nothing to add.
  check "second run log" "" "$(cat "$LOG")"
  check "second run opened no notice" 0 "$(driver count "$TITLE" | tr -d '\r')"
  check "second run changed nothing" "$before" \
    "$(regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" | tr -d '\r')"
  session_end
}

scenario_failure() {
  echo "failure: a target that can be read but not opened for deletion"
  session_begin "$BASE_PREFIX"
  seed_installation
  regtool dacl 32 "$DISTRIBUTION_UNIT" "$READ_ONLY"
  start_program "$BUILD/TessalineCleaner.exe"
  local way notice
  for way in ok enter esc close; do
    driver key "$CAPTION" enter
    notice=$(driver notice "$TITLE")
    if [ "$way" == ok ]; then
      check "the taskbar entry brings the notice forward" "active #32770 '$TITLE'" \
        "$(driver choose-entry "$CAPTION" | tr -d '\r')"
    fi
    check "notice ($way)" "count 1
text 'It failed to Open Distribution Unit in Local Machine'
button 'OK'
icon no
centred 1
owner-enabled 0" "$notice"
    driver close-notice "$TITLE" "$way"
    check "status after notice ($way)" "status ''" "$(read_status)"
    if [ "$way" == ok ]; then
      check "log keeps earlier pairs" "$(expected_log HKEY_CLASSES_ROOT '\ActiveFormProj1.ActiveFormX' \
        HKEY_CLASSES_ROOT "\\CLSID\\$GUID" \
        HKEY_CURRENT_USER "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID")" \
        "$(log_text)"
    fi
  done
  check "focus back" "focus Button 'Clean'" "$(line_of focus "$(driver layout "$CAPTION")")"
  driver close-owner "$CAPTION"
  wait_program_end
  check "closed through the taskbar entry: exit status" 0 $?
  session_end
}

scenario_titles() {
  echo "titles: the executable's name captions every box"
  session_begin "$BASE_PREFIX"
  echo "$DISTRIBUTION_UNIT" | seed_lines
  regtool dacl 32 "$DISTRIBUTION_UNIT" "$READ_ONLY"
  local name title
  for name in MyTool.exe:Mytool a.b.exe:a Очиститель.exe:Очиститель; do
    title=${name#*:}
    cp "$BUILD/TessalineCleaner.exe" "$WINEPREFIX/drive_c/${name%%:*}"
    start_program "C:\\${name%%:*}"
    driver key "$CAPTION" enter
    check "caption of $title" "text 'It failed to Open Distribution Unit in Local Machine'" \
      "$(line_of text "$(driver notice "$title")")"
    driver close-notice "$title" ok
    driver close "$CAPTION"
    wait_program_end
  done
  session_end
}

scenario_unexpected() {
  echo "unexpected: a failure escaping the click handler"
  session_begin "$BASE_PREFIX"
  start_program "$TEST_BUILDS/TessalineCleanerFaulty.exe"
  local round
  for round in 1 2; do
    driver key "$CAPTION" enter
    check "failure box $round" "count 1
text 'The registry layer broke down.'
button 'OK'
icon yes
owner-enabled 0" "$(driver notice Tessalinecleanerfaulty | grep -v '^centred')"
    driver close-notice Tessalinecleanerfaulty ok
  done
  check "still running" "status ''" "$(read_status)"
  session_end
}

scenario_window
scenario_clean
scenario_failure
scenario_titles
scenario_unexpected
finish
