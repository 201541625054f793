#!/usr/bin/env bash
# Windows before 10 1903 ignores the manifest's UTF-8 code page. A build without it, run under
# code page 1252, backs up a key named in Japanese under its exact name: the backup reads names
# through the platform's UTF-16 calls.
#   ansi-codepage.sh BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR
source "$(dirname "$0")/lib.sh"

NAME='日本語の名前 😀'
STATS="software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\$GUID"
ansi() {
  local CONSOLE_COMMAND=(env LANG=en_US.ISO-8859-1 LC_ALL=en_US.ISO-8859-1
    wine "$TEST_BUILDS/tessaline-clean-ansi.exe")
  console "$@"
}

session_begin "$BASE_PREFIX"
printf '%s\n' "HKCU\\$STATS\\$NAME|v|x" >"$SESSION_PREFIX/drive_c/seed.txt"
regtool seed 32 'C:\seed.txt'
# The proof that the code page is not UTF-8: the clean without a backup, which keeps the ANSI
# calls, gets the name as question marks, cannot open the key, and stops.
ansi clean
check "without a backup, the ANSI calls miss the key under code page 1252" 1 "$STATUS"
check "so the key is still there" "present HKCU\\$STATS\\$NAME" \
  "$(regtool check 32 'C:\seed.txt' | tr -d '\r')"

ansi clean --backup 'C:\b.reg'
check "with a backup, the clean goes through" 0 "$STATUS"
check "the key is gone" "absent HKCU\\$STATS\\$NAME" "$(regtool check 32 'C:\seed.txt' | tr -d '\r')"
check "the backup holds the key under its exact name, with its value" \
  "[HKEY_CURRENT_USER\\$STATS\\$NAME]|\"v\"=\"x\"" \
  "$(iconv -f UTF-16LE -t UTF-8 "$SESSION_PREFIX/drive_c/b.reg" | tr -d '\r' |
    grep -xF -A1 "[HKEY_CURRENT_USER\\$STATS\\$NAME]" | paste -sd '|')"
session_end
finish
