# Sourced by the end-to-end scripts: their arguments, the session helpers and the checks.
#   SCRIPT BUILD_DIR TEST_BUILD_DIR ARTIFACTS_DIR, with WINEPREFIX the test run's prepared prefix
set -u
BUILD=$1
TEST_BUILDS=$2
ARTIFACTS=$3
TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools" && pwd)
source "$TOOLS/wine-env.sh"
source "$TOOLS/cleaner-session.sh"
BASE_PREFIX=$WINEPREFIX
# Each scenario copies the prefix file by file: its server must have written its registry and
# gone.
wineserver -w
LOG=$(mktemp)
# Helper failures are written here: they happen inside command substitutions too.
TOOL_FAILURES=$(mktemp)
trap 'session_end; rm -f "$LOG" "$LOG.expected" "$TOOL_FAILURES"' EXIT

GUID='{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}'
TITLE=Tessalinecleaner
READ_ONLY='D:P(A;;KR;;;WD)'
DISTRIBUTION_UNIT="HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\$GUID"
MODULE_USAGE='HKLM\Software\Microsoft\Windows\CurrentVersion\ModuleUsage'
LOGGED_MODULE_USAGE='\software\Microsoft\Windows\CurrentVersion\ModuleUsage'
passed=0
failed=0

# Every call of a helper must succeed: one that could not do what it was asked fails the test,
# whatever its output would have matched.
counted() {
  local status=0
  "$@" || status=$?
  if [ $status -ne 0 ]; then
    printf 'FAIL %s exited %d\n' "${*:2}" "$status" | tee -a "$TOOL_FAILURES" >&2
  fi
  return $status
}
driver() { counted wine "$BUILD/uidriver.exe" "$@"; }
regtool() { counted wine "$BUILD/regtool.exe" "$@"; }

check() {
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
  fi
}

line_of() { grep "^$1" <<<"$2"; }

read_status() { read_window "$LOG"; }
wait_status() { wait_for_status "$1" "$LOG"; }

# The log's text and an expected one, byte by byte, so CR LF shows.
log_text() { od -An -c "$LOG" | tr -s ' \n' ' '; }
expected_log() {
  printf '%s\r\n' "$@" >"$LOG.expected"
  od -An -c "$LOG.expected" | tr -s ' \n' ' '
}

# The log's pairs for the module-usage entries named on standard input, in that order, into PAIRS.
usage_pairs() {
  PAIRS=()
  local entry
  while read -r entry; do
    PAIRS+=(HKEY_LOCAL_MACHINE "$LOGGED_MODULE_USAGE\\$entry")
  done
}

# Seeds the 32-bit view from lines on standard input.
seed_lines() {
  cat >"$WINEPREFIX/drive_c/seed.txt"
  regtool seed 32 'C:\seed.txt'
}

finish() {
  failed=$((failed + $(wc -l <"$TOOL_FAILURES")))
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
