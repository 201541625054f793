#!/usr/bin/env bash
# The deployment command lines, taken from docs/deployment.md itself (its blocks marked
# recipe=NAME), and the kit's install.cmd and uninstall.cmd they start, run under Wine's cmd.exe
# as a deployment agent starts them: on the demo installation each exits 0 and the control's keys
# are gone, uninstall.cmd puts them back, and a program planted where install.cmd copies to, held
# open so the copy fails, never runs.
#   recipes.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"
# "recipe NAME | agent FOLDER" sets STATUS here, not in a subshell.
shopt -s lastpipe

RECIPES="$TOOLS/../docs/deployment.md"
KIT="$TOOLS/../deploy"
release_more() { release_hold; }

# The text of the block of docs/deployment.md marked recipe=NAME, without the block's indentation.
recipe() {
  local text
  text=$(awk -v name="$1" '
    $0 ~ "^ *```[a-z]+ recipe=" name "$" { inside = 1; indent = index($0, "`") - 1; next }
    inside && /^ *```$/ { exit }
    inside { print substr($0, indent + 1) }' "$RECIPES")
  if [ -z "$text" ]; then
    echo "FAIL docs/deployment.md has no block marked recipe=$1" | tee -a "$TOOL_FAILURES" >&2
  fi
  printf '%s\n' "$text"
}

# The command line of the playbook's task named $1, as win_command hands it to the system: the
# lines of its folded scalar joined by spaces.
ansible_command() {
  recipe ansible | awk -v task="$1" '
    $0 == "- name: " task { inside = 1; next }
    inside && /win_command: >-$/ { folded = 1; next }
    folded && /^    / { sub(/^ +/, ""); line = line (line == "" ? "" : " ") $0; next }
    folded { exit }
    END { print line }'
}

# Starts the command line given on standard input in the Windows folder $1, as a 32-bit agent
# does: STATUS, and its output in OUT.
agent() {
  cat >"$WINEPREFIX/drive_c/command-line.txt"
  STATUS=0
  wine "$TEST_BUILDS/deployagent.exe" run "$1" 'C:\command-line.txt' >"$OUT" 2>&1 || STATUS=$?
}

# A folder, as the agent's cmd.exe names it, on Unix.
folder_of() {
  echo "cmd.exe /c echo $1" | agent 'C:\'
  winepath -u "$(tr -d '\r' <"$OUT" | sed 's/ *$//')"
}

run_log() { echo "$(folder_of '%WINDIR%')/logs/Tessaline/tessaline-clean.log"; }

seed_state() { regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" | tr -d '\r'; }
# The lines in which the seeded keys differ from the text given.
state_differs_from() { diff <(printf '%s\n' "$1") <(seed_state) | grep '^[<>]'; }

# The demo installation once the control is gone: its own keys absent, the look-alikes present.
CONTROL_KEY='\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64\}|\\ActiveFormProj1\.ActiveFormX(\\|$)|tessalineweb_en\.ocx(\\|$)'
cleaned_state() {
  local key
  cut -d'|' -f1 "$TOOLS/demo-installation.txt" | while read -r key; do
    if grep -qiE "$CONTROL_KEY" <<<"$key"; then echo "absent $key"; else echo "present $key"; fi
  done
}

# How many backups, named as the program names them, the Unix folder holds.
backups_in() {
  find "$1" -maxdepth 1 -name 'tessaline-backup-*.reg' 2>/dev/null |
    grep -cE '/tessaline-backup-[0-9]{8}T[0-9]{6}Z-[0-9]+\.reg$'
}

# Holds the Unix file open as a running program's file is held, until release_hold.
hold() {
  rm -f "$WINEPREFIX/drive_c/release"
  wine "$TEST_BUILDS/deployagent.exe" hold "$(winepath -w "$1")" 'C:\release' >"$OUT.held" 2>&1 &
  HOLDER_PID=$!
  for _ in $(seq 100); do
    grep -qs held "$OUT.held" && return 0
    sleep 0.1
  done
  echo "FAIL $1 could not be held open" | tee -a "$TOOL_FAILURES" >&2
}
release_hold() {
  if [ -n "${HOLDER_PID:-}" ]; then
    touch "$WINEPREFIX/drive_c/release"
    wait "$HOLDER_PID" || true
    HOLDER_PID=
    rm -f "$OUT.held"
  fi
}

# A session with the demo installation, and the program with the kit's command scripts, their
# lines ended by CR LF as the release ships them, in the content cache C:\content.
begin() {
  session_begin "$BASE_PREFIX"
  seed_installation
  local content="$WINEPREFIX/drive_c/content" script
  mkdir -p "$content"
  cp "$BUILD/tessaline-clean.exe" "$content/"
  for script in install.cmd uninstall.cmd; do
    sed 's/$/\r/' "$KIT/$script" >"$content/$script"
  done
  TESSALINE="$(folder_of '%ProgramFiles%')/Tessaline"
}

scenario_install_uninstall() {
  echo "the kit's install and uninstall commands, as Intune and Configuration Manager start them"
  begin
  local before log newest
  before=$(seed_state)
  log=$(run_log)
  recipe intune-install | agent 'C:\content'
  check "install: exit status" 0 "$STATUS"
  check "install: the control's keys gone" "" "$(state_differs_from "$(cleaned_state)")"
  check "install: the program copied to Program Files" 0 \
    "$(cmp -s "$BUILD/tessaline-clean.exe" "$TESSALINE/tessaline-clean.exe"; echo $?)"
  check "install: one new backup" 1 "$(backups_in "$TESSALINE/backups")"
  check "install: the run log ends with the clean's status" 1 \
    "$(tail -1 "$log" 2>/dev/null | grep -c 'clean ended: done, exit status 0')"

  recipe intune-install | agent 'C:\content'
  check "install again, on the cleaned machine: exit status and backups" "0 1" \
    "$STATUS $(backups_in "$TESSALINE/backups")"

  recipe intune-uninstall | agent 'C:\content'
  check "uninstall: exit status" 0 "$STATUS"
  check "uninstall: the keys back as seeded" "" "$(state_differs_from "$before")"
  check "uninstall: the folder removed" no "$([ -e "$TESSALINE" ] && echo yes || echo no)"

  # Two backups, and the newest by name, which uninstall.cmd restores first, made no backup at all.
  recipe intune-install | agent 'C:\content'
  seed_installation
  recipe intune-install | agent 'C:\content'
  newest=$(find "$TESSALINE/backups" -name 'tessaline-backup-*.reg' | sort | tail -1)
  printf 'not a backup' | dd of="$newest" conv=notrunc status=none
  recipe intune-uninstall | agent 'C:\content'
  check "uninstall with a corrupted newest backup: the refusal's status" 3 "$STATUS"
  check "uninstall with a corrupted newest backup: the older one restored still" "" \
    "$(state_differs_from "$before")"
  check "uninstall with a corrupted newest backup: the folder and both backups kept" 2 \
    "$(backups_in "$TESSALINE/backups")"

  seed_installation
  regtool dacl 32 "$DISTRIBUTION_UNIT" "$READ_ONLY"
  recipe intune-install | agent 'C:\content'
  check "install with a key it cannot delete: the clean's status" 1 "$STATUS"
  session_end
}

scenario_planted_program() {
  echo "a program planted where the install command copies to, held open so the copy fails"
  begin
  local before
  before=$(seed_state)
  mkdir -p "$TESSALINE"
  cp "$TEST_BUILDS/planted-program.exe" "$TESSALINE/tessaline-clean.exe"
  hold "$TESSALINE/tessaline-clean.exe"
  recipe intune-install | agent 'C:\content'
  check "planted: the command fails" 1 "$STATUS"
  check "planted: the copy failed on the held file" 1 "$(grep -ci 'sharing violation' "$OUT")"
  check "planted: the planted program never ran" no \
    "$([ -e "$WINEPREFIX/drive_c/planted-program-ran" ] && echo yes || echo no)"
  check "planted: nothing deleted" "" "$(state_differs_from "$before")"
  release_hold

  recipe intune-install | agent 'C:\content'
  check "planted, once the file is free: the next try cleans" "0 " \
    "$STATUS $(state_differs_from "$(cleaned_state)")"
  session_end
}

scenario_task_sequence_step() {
  echo "a task sequence's step, run from the package in the client's cache"
  begin
  recipe task-sequence-step | agent 'C:\content'
  check "step: exit status" 0 "$STATUS"
  check "step: the control's keys gone" "" "$(state_differs_from "$(cleaned_state)")"
  check "step: one new backup" 1 "$(backups_in "$TESSALINE/backups")"
  session_end
}

# Puts the script block NAME, with CR LF as a Windows editor saves it, and the program in the
# Windows folder C:\policy\$2.
place_script() {
  local folder="$WINEPREFIX/drive_c/policy/$2"
  mkdir -p "$folder"
  recipe "$1" | sed 's/$/\r/' >"$folder/$3"
  cp "$BUILD/tessaline-clean.exe" "$folder/"
}

scenario_startup_script() {
  echo "the startup script, run from the policy's folder"
  begin
  place_script startup-script Startup clean-tessaline.cmd
  # Started from elsewhere: the script finds the program beside itself.
  local start='cmd.exe /c C:\policy\Startup\clean-tessaline.cmd'
  agent 'C:\windows' <<<"$start"
  # Run as SYSTEM, or elevated as Wine runs it, the program keeps its run log in %WINDIR%\Logs.
  local log
  log=$(run_log)
  check "startup: exit status" 0 "$STATUS"
  check "startup: the control's keys gone" "" "$(state_differs_from "$(cleaned_state)")"
  check "startup: the run log ends with the clean's status" 1 \
    "$(tail -1 "$log" 2>/dev/null | grep -c 'clean ended: done, exit status 0')"
  check "startup: one new backup" 1 "$(backups_in "$TESSALINE/backups")"

  seed_installation
  local before
  before=$(seed_state)
  rm -rf "$TESSALINE"
  touch "$TESSALINE"
  agent 'C:\windows' <<<"$start"
  check "startup without its backup folder: exit status" 3 "$STATUS"
  check "startup without its backup folder: nothing deleted" "" "$(state_differs_from "$before")"
  rm "$TESSALINE"

  regtool dacl 32 "$DISTRIBUTION_UNIT" "$READ_ONLY"
  agent 'C:\windows' <<<"$start"
  check "startup with a key it cannot delete: the clean's status" 1 "$STATUS"
  check "startup with a key it cannot delete: the notice in the run log" 1 \
    "$(tail -3 "$log" 2>/dev/null | grep -c 'It failed to Open Distribution Unit in Local Machine')"
  session_end
}

scenario_logon_script() {
  echo "the logon script, once the machine's keys are gone: the user's own key"
  begin
  place_script startup-script Startup clean-tessaline.cmd
  echo 'cmd.exe /c C:\policy\Startup\clean-tessaline.cmd' | agent 'C:\windows'
  grep '^HKCU' "$TOOLS/demo-installation.txt" | seed_lines
  place_script logon-script Logon clean-tessaline-user.cmd
  echo 'cmd.exe /c C:\policy\Logon\clean-tessaline-user.cmd' | agent 'C:\windows'
  check "logon: exit status" 0 "$STATUS"
  check "logon: the control's keys gone" "" "$(state_differs_from "$(cleaned_state)")"
  check "logon: one backup, in the user's own folder" 1 \
    "$(backups_in "$(folder_of '%LOCALAPPDATA%')/Tessaline/backups")"
  session_end
}

scenario_ansible() {
  echo "Ansible's commands, once win_copy has put the program in Program Files"
  begin
  local folder="$WINEPREFIX/drive_c/Program Files/Tessaline"
  mkdir -p "$folder"
  cp "$BUILD/tessaline-clean.exe" "$folder/"
  ansible_command "Remove every trace of TessalineWeb_EN.ocx" | agent 'C:\'
  check "ansible clean: exit status" 0 "$STATUS"
  check "ansible clean: the JSON's keys, which changed_when counts" 7 "$(jq '.keys | length' "$OUT")"
  check "ansible clean: the control's keys gone" "" "$(state_differs_from "$(cleaned_state)")"
  check "ansible clean: one new backup" 1 "$(backups_in "$folder/backups")"
  ansible_command "Report whether TessalineWeb_EN.ocx is present" | agent 'C:\'
  check "ansible check: exit status" 0 "$STATUS"
  session_end
}

# Every recipe and script of the kit keeps clear of the folders any user may write in.
scenario_no_user_writable_folder() {
  echo "no recipe or script of the kit names a folder users can write"
  local user_writable='ProgramData|Public|%TEMP%|%TMP%|\$env:TEMP|\$env:TMP|\\Temp\\' name script
  for name in intune-install intune-uninstall task-sequence-step startup-script logon-script \
    ansible; do
    check "$name: no ProgramData, Public or temporary folder" "" \
      "$(recipe "$name" | grep -iE "$user_writable")"
  done
  for script in "$KIT"/*.cmd "$KIT"/*.ps1; do
    check "deploy/${script##*/}: no ProgramData, Public or temporary folder" "" \
      "$(grep -iE "$user_writable" "$script")"
  done
}

scenario_no_user_writable_folder
scenario_install_uninstall
scenario_planted_program
scenario_task_sequence_step
scenario_startup_script
scenario_logon_script
scenario_ansible
finish
