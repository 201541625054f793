#!/usr/bin/env bash
# Every user's keys under Wine, the profiles whose users are not logged on included: which
# profiles are examined and why others are passed over, check through private copies, clean with
# a backup, hives and folders that lead elsewhere, a registry link planted in a hive, a hive another
# program holds, a hive a killed run left loaded, and a key its user locked.
# Hives are Wine's text hives (Wine loads no other), written at real profile paths. Wine drops what
# a run changed in a hive it loaded when it unloads it, so no file here can show a deletion: what
# a run did inside a hive shows in its output and its backup alone.
#   profiles.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

PROFILE_LIST='HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList'
ALICE=S-1-5-21-1-2-3-1001
# An Entra ID user's SID.
INES=S-1-12-1-1111111111-2222222222-3333333333-4444444444
STATS_PATH="Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"
LOGGED_STATS="software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"
CLASSES=AppData/Local/Microsoft/Windows

# A key line of a text hive: the names below the hive's root, backslashes doubled.
hive_key() { echo "[${1//\\/\\\\}] 1700000000"; }
# A user's own hive with the control's statistics, and one of the user's own keys.
user_hive() {
  echo 'WINE REGISTRY Version 2'
  echo
  hive_key 'Software\Keep'
  echo '"x"="kept"'
  echo
  hive_key "$STATS_PATH\\iexplore"
  echo '"Count"=dword:00000001'
}
# A user's classes hive with the control's ProgID and class, in both views.
classes_hive() {
  echo 'WINE REGISTRY Version 2'
  echo
  hive_key ActiveFormProj1.ActiveFormX
  echo '@="ActiveFormX Control"'
  echo
  hive_key "CLSID\\$GUID"
  echo '@="native view"'
  echo
  hive_key "Wow6432Node\\CLSID\\$GUID\\InprocServer32"
  echo '@="C:\\Users\\u\\x.ocx"'
}
# The folder of a profile, by its name under C:\users, with both hives.
make_profile() {
  local folder=$WINEPREFIX/drive_c/users/$1
  mkdir -p "$folder/$CLASSES"
  user_hive >"$folder/NTUSER.DAT"
  classes_hive >"$folder/$CLASSES/UsrClass.dat"
}

# The bytes of a string value as the registry keeps them: UTF-16LE with its terminator.
text_hex() { printf '%s\0' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'; }
# Lines "SID|VALUE|TYPE|TEXT-OR-HEX" to ProfileList: TYPE 1 (REG_SZ) and 2 (REG_EXPAND_SZ) take
# text, 4 (REG_DWORD) the bytes; an empty SID sets a value of ProfileList itself.
register_profiles() {
  local sid name type data
  while IFS='|' read -r sid name type data; do
    [ "$type" = 4 ] || data=$(text_hex "$data")
    echo "$PROFILE_LIST${sid:+\\$sid}|$name|$type|$data"
  done >"$WINEPREFIX/drive_c/profiles.txt"
  regtool values 64 'C:\profiles.txt'
}

# The profiles of the last JSON report, a line each, "SID outcome loaded reason", sorted.
profile_lines() {
  jq -r '.profiles[] | "\(.sid) \(.outcome) \(.loaded) \(.reason)"' "$OUT" | LC_ALL=C sort
}
profile_line() { profile_lines | grep "^$1 "; }
# The names under HKEY_USERS that a run of the program loads hives as.
private_hives() { regtool list 64 HKU | tr -d '\r' | grep -i '^TessalineClean-' || true; }
journal() { regtool dump 64 'HKLM\Software\TessalineClean' | tr -d '\r'; }
# Every private copy folder left in the prefix.
private_folders() { find "$WINEPREFIX/drive_c" -name 'TessalineClean-*' | sed "s|$WINEPREFIX/||"; }
# The sums of every file in the folders named, below C:\.
sums() { (cd "$WINEPREFIX/drive_c" && find "$@" -type f -print0 | LC_ALL=C sort -z |
  xargs -0 sha256sum); }

# One user's keys, as pairs of their root and their path, the user hive's first; joined, they are
# the lines check and clean print.
user_pairs() {
  printf '%s\n' HKEY_USERS "\\$1\\$LOGGED_STATS"
}
classes_pairs() {
  printf '%s\n' HKEY_USERS "\\$1_Classes\\ActiveFormProj1.ActiveFormX" \
    HKEY_USERS "\\$1_Classes\\CLSID\\$GUID" \
    HKEY_USERS "\\$1_Classes\\Wow6432Node\\CLSID\\$GUID"
}

# No mount, no record and no copy of a run is left behind.
check_nothing_left() {
  check "$1: no hive left loaded" "" "$(private_hives)"
  check "$1: no record left" "absent HKLM\\Software\\TessalineClean" "$(journal)"
  check "$1: no private copy left" "" "$(private_folders)"
}

scenario_discovery() {
  echo "discovery: which profiles are examined, and why the others are passed over"
  session_begin "$BASE_PREFIX"
  make_profile alice
  make_profile ines
  make_profile Default
  mkdir -p "$WINEPREFIX/drive_c/users/nohive"
  local nohive=$WINEPREFIX/drive_c/users/nohive
  register_profiles <<EOF
$ALICE|ProfileImagePath|1|C:\\users\\alice
$INES|ProfileImagePath|2|%SystemDrive%\\users\\ines
S-1-5-21-1-2-3-1002.bak|ProfileImagePath|1|C:\\users\\alice
S-1-5-21-1-2-3-1003|ProfileImagePath|1|C:\\users\\alice
S-1-5-21-1-2-3-1003|State|4|00080000
S-1-5-21-1-2-3-1004|ProfileImagePath|1|C:\\users\\alice
S-1-5-21-1-2-3-1004|State|4|01000000
S-1-5-21-1-2-3-1005|ProfileImagePath|1|C:\\users\\alice
S-1-5-21-1-2-3-1005|CentralProfile|1|\\\\server\\profiles\\alice
S-1-5-18|ProfileImagePath|2|%SystemRoot%\\system32\\config\\systemprofile
S-1-5-21-1-2-3-1006|ProfileImagePath|1|C:\\users\\gone
S-1-5-21-1-2-3-1007|ProfileImagePath|1|C:\\users\\nohive
|Default|2|%SystemDrive%\\users\\Default
EOF
  console check --all-users --json
  check "discovery: check's exit status" 1 "$STATUS"
  local missing="its folder or its hive NTUSER.DAT is missing"
  check "discovery: check's profiles" "$(LC_ALL=C sort <<EOF
$ALICE examined by-run null
$INES examined by-run null
Default examined by-run null
S-1-5-18 passed-over null a service account, whose hive is always loaded
S-1-5-21-0-0-0-1000 examined by-user null
S-1-5-21-1-2-3-1002.bak passed-over null a copy kept while its profile is repaired (.bak)
S-1-5-21-1-2-3-1003 passed-over null a temporary profile
S-1-5-21-1-2-3-1004 passed-over null a mandatory profile, which its server replaces at every logon
S-1-5-21-1-2-3-1005 passed-over null a roaming profile, which its server's copy replaces at the next logon: clean it as its user logs on
S-1-5-21-1-2-3-1006 passed-over null $missing
S-1-5-21-1-2-3-1007 passed-over null $missing
EOF
)" "$(profile_lines)"
  check "discovery: the Entra ID user's folder, expanded" 'C:\users\ines' \
    "$(jq -r ".profiles[] | select(.sid == \"$INES\") | .folder" "$OUT")"
  check "discovery: the users' keys, and the template's" \
    "$( (user_pairs "$ALICE"; user_pairs "$INES"; user_pairs Default; classes_pairs "$ALICE"
      classes_pairs "$INES"; classes_pairs Default) | paste - - | LC_ALL=C sort)" \
    "$(jq -r '.keys[] | "\(.root)\t\(.path)"' "$OUT" | LC_ALL=C sort)"
  check "discovery: no hive made where there was none" "" "$(ls "$nohive")"

  console clean --all-users --json
  check "discovery: clean's exit status" 0 "$STATUS"
  check "discovery: clean passes the template over" \
    "Default passed-over null the template of new users' profiles, cleaned only when asked for" \
    "$(profile_line Default)"
  check "discovery: clean takes the users' keys alone" 8 "$(jq '.keys | length' "$OUT")"
  console clean --all-users --include-default-profile --json
  check "discovery: the template when asked for" "0 Default examined by-run null 12" \
    "$STATUS $(profile_line Default) $(jq '.keys | length' "$OUT")"
  check_nothing_left discovery
  session_end
}

scenario_check_reads_copies() {
  echo "check: the keys of a user who is not logged on, read from private copies"
  session_begin "$BASE_PREFIX"
  make_profile alice
  local folder=$WINEPREFIX/drive_c/users/alice
  printf 'log one' >"$folder/NTUSER.DAT.LOG1"
  printf 'log two' >"$folder/NTUSER.DAT.LOG2"
  printf 'classes log' >"$folder/$CLASSES/UsrClass.dat.LOG1"
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  local before
  before=$(sums users/alice)
  console check --all-users --json
  check "check: exit status and outcome" "1 present" "$STATUS $(jq -r .outcome "$OUT")"
  check "check: the keys under their logged-on names" \
    "$( (user_pairs "$ALICE"; classes_pairs "$ALICE") | paste - -)" \
    "$(jq -r '.keys[] | "\(.root)\t\(.path)"' "$OUT")"
  check "check: the profile" "$ALICE examined by-run null" "$(profile_line "$ALICE")"
  check "check: the hives and their logs, byte for byte" "$before" "$(sums users/alice)"
  check_nothing_left check
  console check --all-users
  check "check: the keys" "$( (user_pairs "$ALICE"; classes_pairs "$ALICE") | joined
    echo "4 keys of $CONTROL are present.")" "$(cat "$OUT")"

  # A log goes with its hive into the copy, checked as the hive is: one that leads elsewhere is
  # refused. A clean loads the hive where it lies, and the platform would write through its log:
  # it is held to the same rules.
  echo 'secret' >"$WINEPREFIX/drive_c/secret.txt"
  rm "$folder/NTUSER.DAT.LOG1"
  ln -s "$WINEPREFIX/drive_c/secret.txt" "$folder/NTUSER.DAT.LOG1"
  console check --all-users --json
  check "check, a log that is a link: not examined" \
    "1 $ALICE not-examined by-run its hive NTUSER.DAT was not loaded: NTUSER.DAT.LOG1 is a link" \
    "$STATUS $(profile_line "$ALICE")"
  check "check, a log that is a link: the classes still read" "$(classes_pairs "$ALICE" | paste - -)" \
    "$(jq -r '.keys[] | "\(.root)\t\(.path)"' "$OUT")"
  check_nothing_left "check, a log that is a link"
  console clean --all-users --json
  check "clean, a log that is a link: not examined" \
    "1 $ALICE not-examined by-run its hive NTUSER.DAT was not loaded: NTUSER.DAT.LOG1 is a link" \
    "$STATUS $(profile_line "$ALICE")"
  check "clean, a log that is a link: what it leads to untouched" secret \
    "$(cat "$WINEPREFIX/drive_c/secret.txt")"
  check_nothing_left "clean, a log that is a link"
  session_end
}

scenario_copies_keep_the_reserve() {
  echo "check: no copy of a hive takes the temp folder's volume below its reserve"
  session_begin "$BASE_PREFIX"
  make_profile alice
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  local temp
  temp=$(winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')")
  if mount_volume "$temp" 524288 "copies keep the reserve"; then
    # Not copied: a log larger than any hive, one taking no room where it lies, one too large for the volume.
    local log=$WINEPREFIX/drive_c/users/alice/NTUSER.DAT.LOG1 size
    for size in 3G 2G 300M; do
      rm -f "$log"
      if [ $size = 300M ]; then fallocate -l $size "$log"; else truncate -s $size "$log"; fi
      console check --all-users --json
      echo "$STATUS $(profile_line "$ALICE") [$(ls -A "$temp")]" >>"$WINEPREFIX/refused.txt"
    done
    check "copies keep the reserve: not examined, and why; nothing copied" "$(printf "1 $ALICE not-examined by-run its hive NTUSER.DAT was not loaded: %s []\n" \
      "NTUSER.DAT.LOG1 (3072 MB) is larger than any hive the platform loads (2048 MB)" \
      "NTUSER.DAT.LOG1 is sparse or compressed: a copy of it (2048 MB) would take more room than it does" \
      "a copy of NTUSER.DAT.LOG1 (300 MB) would leave its volume less than 256 MB free")" \
      "$(cat "$WINEPREFIX/refused.txt")"
    check_nothing_left "copies keep the reserve"
  fi
  unmount_volume
  session_end
}

scenario_clean_with_backup() {
  echo "clean: the keys of a user who is not logged on, backed up under their logged-on names"
  session_begin "$BASE_PREFIX"
  make_profile alice
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  mkdir -p "$WINEPREFIX/drive_c/ProgramData/Tessaline"
  console clean --all-users --backup 'C:\ProgramData\Tessaline\b.reg'
  check "clean: exit status" 0 "$STATUS"
  check "clean: the keys and Done!" "$( (user_pairs "$ALICE"; classes_pairs "$ALICE") | joined
    echo 'Done! 4 keys deleted; backup: C:\ProgramData\Tessaline\b.reg')" "$(cat "$OUT")"
  check "clean: nothing on stderr" "" "$(cat "$ERR")"
  check "clean: the backup's sections" "$( (user_pairs "$ALICE"; classes_pairs "$ALICE") |
    paste -d '' - - | sed 's/^\(.*\)$/[\1]/')" \
    "$(iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/ProgramData/Tessaline/b.reg" | tr -d '\r' |
      grep '^\[HKEY_USERS' | grep -v -e '\\iexplore\]$' -e '\\InprocServer32\]$')"
  check "clean: the backup holds the values" 1 \
    "$(iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/ProgramData/Tessaline/b.reg" |
      grep -c '^@="C:\\\\Users\\\\u\\\\x.ocx"')"
  check_nothing_left clean
  # Alice fills her statistics with some 5 MB of backup text: they stay, named, out of the backup.
  { hive_key "$STATS_PATH"; printf '"large"=hex:%s00\n' "$(printf '00,%.0s' $(seq 799999))"; } >>"$WINEPREFIX/drive_c/users/alice/NTUSER.DAT"
  console clean --all-users --backup-dir 'C:\ProgramData\Tessaline\bounded' --json
  check "clean, a key past the bound: kept, and why; the backup under 4 MB" \
    "3 backup-failed \\$ALICE\\$LOGGED_STATS the backup kept it: HKEY_USERS\\$ALICE\\$LOGGED_STATS would take more than 4 MB of the backup, the most a key of a user's hive may take 1" \
    "$STATUS $(jq -r '.outcome + " " + (.kept[] | .path + " " + .reason)' "$OUT") $(find \
      "$WINEPREFIX/drive_c/ProgramData/Tessaline/bounded" -name '*.reg' -size -4M | wc -l)"
  session_end
}

# Restore puts a profile's keys back into its hive, loaded from where ProfileList says while its
# keys are written, once it has swept what a killed run left mounted; a profile ProfileList does
# not name gets nothing. (Wine drops the writes when
# it unloads the hive: what restore did shows in its output alone.)
scenario_restore_into_a_profile() {
  echo "restore: the keys of a user who is not logged on go back into that user's hives"
  session_begin "$BASE_PREFIX"
  make_profile alice
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  mkdir -p "$WINEPREFIX/drive_c/safe"
  chmod 755 "$WINEPREFIX/drive_c/safe"
  console clean --all-users --backup 'C:\safe\b.reg'
  check "restore: the clean went" 0 "$STATUS"
  chmod 644 "$WINEPREFIX/drive_c/safe/b.reg"
  # The hives as Windows leaves them after the clean: without the control's keys.
  printf 'WINE REGISTRY Version 2\n\n%s\n"x"="kept"\n' "$(hive_key 'Software\Keep')" \
    >"$WINEPREFIX/drive_c/users/alice/NTUSER.DAT"
  printf 'WINE REGISTRY Version 2\n\n%s\n' "$(hive_key 'Other')" \
    >"$WINEPREFIX/drive_c/users/alice/$CLASSES/UsrClass.dat"
  # A restore killed while alice's hive was mounted left that mount: this one sweeps it first,
  # and finishes.
  local left
  left=$(regtool killed 64 'C:\users\alice' "$ALICE" user | tr -d '\r')
  console restore 'C:\safe\b.reg'
  check "restore: exit status and stderr" \
    "0 Unloaded HKEY_USERS\\$left, left loaded by an earlier run" \
    "$STATUS $(cat "$ERR")"
  check "restore: each key put back, the deepest first" \
    "$( (printf '%s\n' HKEY_USERS "\\$ALICE\\$LOGGED_STATS\\iexplore"; user_pairs "$ALICE"
      printf '%s\n' HKEY_USERS "\\${ALICE}_Classes\\ActiveFormProj1.ActiveFormX" \
        HKEY_USERS "\\${ALICE}_Classes\\CLSID\\$GUID" \
        HKEY_USERS "\\${ALICE}_Classes\\Wow6432Node\\CLSID\\$GUID\\InprocServer32" \
        HKEY_USERS "\\${ALICE}_Classes\\Wow6432Node\\CLSID\\$GUID") | joined
      echo 'Restored 6 keys from C:\safe\b.reg')" "$(cat "$OUT")"
  check_nothing_left restore
  # A profile ProfileList does not name: nothing is loaded for it.
  counted wine reg delete "$PROFILE_LIST\\$ALICE" /f /reg:64 >"$WINEPREFIX/reg.txt"
  console restore 'C:\safe\b.reg'
  check "restore, no such profile: exit status" 1 "$STATUS"
  check "restore, no such profile: named" \
    "HKEY_USERS\\$ALICE\\$LOGGED_STATS\\iexplore: not restored: no hive $ALICE is loaded, and ProfileList names no profile of it." \
    "$(head -1 "$ERR")"
  check_nothing_left "restore, no such profile"
  session_end
}

scenario_links_on_the_way() {
  echo "links: a hive, a hive with a second name, and a folder on the way that lead elsewhere"
  session_begin "$BASE_PREFIX"
  local c=$WINEPREFIX/drive_c
  # Other users' hives, planted by bob as his own through a link, and by dave through a second
  # name; carol's classes folder leads to another folder.
  local user
  for user in victim other bob carol dave; do make_profile "$user"; done
  rm "$c/users/bob/NTUSER.DAT" "$c/users/dave/NTUSER.DAT"
  ln -s "$c/users/victim/NTUSER.DAT" "$c/users/bob/NTUSER.DAT"
  ln "$c/users/other/NTUSER.DAT" "$c/users/dave/NTUSER.DAT"
  mkdir -p "$c/elsewhere"
  mv "$c/users/carol/AppData/Local" "$c/elsewhere/Local"
  ln -s "$c/elsewhere/Local" "$c/users/carol/AppData/Local"
  register_profiles <<EOF
S-1-5-21-1-2-3-1011|ProfileImagePath|1|C:\\users\\bob
S-1-5-21-1-2-3-1012|ProfileImagePath|1|C:\\users\\carol
S-1-5-21-1-2-3-1013|ProfileImagePath|1|C:\\users\\dave
EOF
  local before
  before=$(sums users/victim users/other users/carol elsewhere)
  console clean --all-users --json
  check "links: exit status and outcome" "1 incomplete" "$STATUS $(jq -r .outcome "$OUT")"
  check "links: each profile not examined, and why" "$(cat <<EOF
S-1-5-21-1-2-3-1011 not-examined by-run its hive NTUSER.DAT was not loaded: NTUSER.DAT is a link
S-1-5-21-1-2-3-1012 not-examined by-run its hive AppData\\Local\\Microsoft\\Windows\\UsrClass.dat was not loaded: AppData\\Local is a link or junction
S-1-5-21-1-2-3-1013 not-examined by-run its hive NTUSER.DAT was not loaded: NTUSER.DAT has 2 names
EOF
)" "$(profile_lines | grep -v -e '^S-1-5-21-0-0-0-1000 ')"
  check "links: only what lay where it should was taken" \
    "$( (user_pairs S-1-5-21-1-2-3-1012; classes_pairs S-1-5-21-1-2-3-1011
      classes_pairs S-1-5-21-1-2-3-1013) | paste - - | LC_ALL=C sort)" \
    "$(jq -r '.keys[] | "\(.root)\t\(.path)"' "$OUT" | LC_ALL=C sort)"
  check "links: what they lead to untouched" "$before" "$(sums users/victim users/other users/carol elsewhere)"
  check "links: still links" "link link" \
    "$([ -L "$c/users/bob/NTUSER.DAT" ] && echo link) $([ -L "$c/users/carol/AppData/Local" ] && echo link)"
  console clean --all-users
  check "links: stderr names each" 3 "$(grep -c '^The profile S-1-5-21-1-2-3-101[123] (C:\\users\\[a-z]*) was not examined: its hive' "$ERR")"
  check "links: no Done!" 0 "$(grep -c 'Done!' "$OUT")"
  check_nothing_left links
  session_end
}

# The user's hive makes the folder of statistics a registry link to a key of the machine's that
# holds a key named as the control's statistics; opened through the hive, that name leads there.
scenario_registry_link_in_a_hive() {
  echo "registry link: a user's statistics that lead into the machine's keys"
  session_begin "$BASE_PREFIX"
  seed_installation
  # The machine's key the link leads to, in both views.
  echo "HKLM\\Software\\Victim\\$GUID\\Child|v|precious" >"$WINEPREFIX/drive_c/victim.txt"
  regtool seed 64 'C:\victim.txt'
  regtool seed 32 'C:\victim.txt'
  make_profile alice
  local target hex
  target='\REGISTRY\Machine\Software\Victim'
  hex=$(printf '%s' "$target" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',' |
    sed 's/^,//;s/,$//')
  {
    echo 'WINE REGISTRY Version 2'
    echo
    hive_key "${STATS_PATH%\\*}"
    echo '#link'
    echo "\"SymbolicLinkValue\"=hex(6):$hex"
  } >"$WINEPREFIX/drive_c/users/alice/NTUSER.DAT"
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  console clean --all-users
  check "registry link: exit status" 1 "$STATUS"
  check "registry link: the machine's key it leads to stays, in both views" \
    "present HKLM\\Software\\Victim\\$GUID\\Child present HKLM\\Software\\Victim\\$GUID\\Child" \
    "$(regtool check 64 'C:\victim.txt' | tr -d '\r') $(regtool check 32 'C:\victim.txt' | tr -d '\r')"
  check "registry link: the user's key named as kept" 1 \
    "$(grep -cF "Kept HKEY_USERS\\$ALICE\\$LOGGED_STATS of $ALICE: " "$ERR")"
  check "registry link: the machine's keys went" "absent $DISTRIBUTION_UNIT" \
    "$(regtool dump 32 "$DISTRIBUTION_UNIT" | tr -d '\r')"
  check "registry link: no Done!" 0 "$(grep -c 'Done!' "$OUT")"
  check_nothing_left "registry link"
  session_end
}

scenario_sweep() {
  echo "sweep: a hive a killed run left loaded is unloaded; what no run recorded stays"
  session_begin "$BASE_PREFIX"
  make_profile alice
  make_profile other
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  # A run killed while alice's hive was loaded, and what no run of the program recorded: another
  # program's hive loaded under a name like the program's, and a plain key so named. The killed
  # run's name has its part nobody could predict: the sweep finds it by its record alone.
  local left
  left=$(regtool killed 64 'C:\users\alice' "$ALICE" user | tr -d '\r')
  check "sweep: the killed run's name is new" \
    "yes" "$([[ $left =~ ^TessalineClean-$ALICE-user-[0-9a-f]{32}$ ]] && echo yes)"
  regtool load 64 TessalineClean-S-1-5-21-1-2-3-1098-user 'C:\users\other\NTUSER.DAT'
  echo 'HKU\TessalineClean-S-1-5-21-1-2-3-1099-user\Sub|v|x' >"$WINEPREFIX/drive_c/plain.txt"
  regtool seed 64 'C:\plain.txt'
  check "sweep: the killed run's hive is loaded" "$left" "$(private_hives | grep -- "-1001-")"
  console check --all-users --json
  check "sweep: swept" "[\"$left\"]" "$(jq -c .swept "$OUT")"
  check "sweep: stderr says so" \
    "Unloaded HKEY_USERS\\$left, left loaded by an earlier run" "$(cat "$ERR")"
  check "sweep: alice examined after it" "1 $ALICE examined by-run null" \
    "$STATUS $(profile_line "$ALICE")"
  check "sweep: what no run recorded stays" \
    "TessalineClean-S-1-5-21-1-2-3-1098-user TessalineClean-S-1-5-21-1-2-3-1099-user" \
    "$(private_hives | tr '\n' ' ' | sed 's/ $//')"
  check "sweep: the plain key keeps what it holds" "value v 1 78000000" \
    "$(regtool dump 64 'HKU\TessalineClean-S-1-5-21-1-2-3-1099-user\Sub' | tr -d '\r' | grep ^value)"
  check "sweep: the other hive keeps what it holds" 1 \
    "$(regtool dump 64 "HKU\\TessalineClean-S-1-5-21-1-2-3-1098-user\\$STATS_PATH" | grep -c '^key .*iexplore')"
  check "sweep: no record left" "absent HKLM\\Software\\TessalineClean" "$(journal)"
  console check --all-users --json
  check "sweep: nothing to sweep again" "[]" "$(jq -c .swept "$OUT")"

  # A check killed while its private copy of alice's classes was loaded: the copy, which the
  # platform holds while it is loaded, goes once its mount is swept.
  local copied
  copied=$(regtool killed 64 'C:\users\alice' "$ALICE" classes copy | tr -d '\r')
  check "sweep: the killed check's copy is left" 1 "$(private_folders | wc -l)"
  check "sweep: the killed check's name is another" \
    "yes" "$([[ $copied =~ ^TessalineClean-$ALICE-classes-[0-9a-f]{32}$ ]] && echo yes)"
  console check --all-users --json
  check "sweep: the killed check's mount swept" "[\"$copied\"]" "$(jq -c .swept "$OUT")"
  check "sweep: the killed check's copy gone" "" "$(private_folders)"
  check "sweep: no record left after the check" "absent HKLM\\Software\\TessalineClean" "$(journal)"

  # Checks killed at any moment, a copy being made or loaded included: the next run leaves
  # neither a copy nor a mount nor a record behind; what no run recorded stays as it was.
  local delay unrecorded start took step
  unrecorded=$(private_hives)
  # Kills spread over the time a whole check takes here, so some land while a copy is made.
  start=$(date +%s%N)
  console check --all-users
  took=$((($(date +%s%N) - start) / 1000000))
  for step in $(seq 20); do
    delay=$(printf '%d.%03d' $((took * step / 18 / 1000)) $((took * step / 18 % 1000)))
    wine "$BUILD/tessaline-clean.exe" check --all-users >/dev/null 2>&1 &
    sleep "$delay"
    kill -9 $! 2>/dev/null || true
    wait $! 2>/dev/null || true
  done
  echo "  20 checks killed within $took ms left $(private_folders | wc -l) copies and $(journal | grep -c '^key .*Mounts\\') records"
  console check --all-users
  check "killed checks: no copy, mount or record left" "0|$unrecorded|absent HKLM\\Software\\TessalineClean" \
    "$(private_folders | wc -l)|$(private_hives)|$(journal)"
  session_end
}

scenario_in_use() {
  echo "in use: a hive another program holds is not examined"
  session_begin "$BASE_PREFIX"
  make_profile alice
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  local held=$WINEPREFIX/drive_c/held.txt release=$WINEPREFIX/drive_c/release
  wine "$BUILD/regtool.exe" hold 64 'C:\users\alice\NTUSER.DAT' 'C:\release' >"$held" 2>&1 &
  local holder=$!
  for _ in $(seq 100); do grep -q held "$held" && break; sleep 0.1; done
  check "in use: held" held "$(tr -d '\r' <"$held")"
  local verb
  for verb in clean check; do
    console "$verb" --all-users --json
    # Check finds the classes' keys present; the clean deleted them, and only the hive in use,
    # which a later run reaches, is left: 1618, of which a Unix exit status holds the low byte.
    check "in use, $verb: exit status, and as JSON" \
      "$([ "$verb" == clean ] && echo "$((1618 % 256)) 1618" || echo "1 1")" \
      "$STATUS $(jq .exitStatus "$OUT")"
    check "in use, $verb: the profile" \
      "$ALICE not-examined by-run its hive NTUSER.DAT is in use: its user may be logging on; run again to reach it" \
      "$(profile_line "$ALICE")"
    check "in use, $verb: the classes read" "$(classes_pairs "$ALICE" | paste - -)" \
      "$(jq -r '.keys[] | "\(.root)\t\(.path)"' "$OUT")"
    check_nothing_left "in use, $verb"
  done
  touch "$release"
  wait "$holder"
  session_end
}

# A logged-on user's hive is loaded under the user's SID; the user has made the statistics key
# one nobody may delete. Wine keeps a key's security while its server runs; it lets a key that
# grants reading alone be deleted all the same, so the access list denies deletion outright.
scenario_locked_in_a_loaded_hive() {
  echo "locked: a key a user made undeletable is kept, and the machine's keys go"
  session_begin "$BASE_PREFIX"
  seed_installation
  make_profile alice
  register_profiles <<<"$ALICE|ProfileImagePath|1|C:\\users\\alice"
  regtool load 64 "$ALICE" 'C:\users\alice\NTUSER.DAT'
  regtool dacl 64 "HKU\\$ALICE\\$STATS_PATH" 'D:P(D;;SD;;;WD)(A;;KR;;;WD)'
  console clean --all-users --json
  check "locked: exit status and outcome" "1 incomplete" "$STATUS $(jq -r .outcome "$OUT")"
  check "locked: the profile, loaded by its user" "$ALICE examined by-user null" \
    "$(profile_line "$ALICE")"
  check "locked: the key kept" "HKEY_USERS \\$ALICE\\$LOGGED_STATS $ALICE" \
    "$(jq -r '.kept[] | "\(.root) \(.path) \(.sid)"' "$OUT")"
  check "locked: still there" 1 "$(regtool dump 64 "HKU\\$ALICE\\$STATS_PATH" | grep -c '^key .*iexplore')"
  check "locked: the machine's keys went" "absent $DISTRIBUTION_UNIT" \
    "$(regtool dump 32 "$DISTRIBUTION_UNIT" | tr -d '\r')"
  check "locked: nothing loaded by the run" "" "$(private_hives)"
  session_end
}

scenario_discovery
scenario_check_reads_copies
scenario_copies_keep_the_reserve
scenario_clean_with_backup
scenario_restore_into_a_profile
scenario_links_on_the_way
scenario_registry_link_in_a_hive
scenario_sweep
scenario_in_use
scenario_locked_in_a_loaded_hive
finish
