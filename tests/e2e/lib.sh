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
# The console program's output, for console below.
OUT=$(mktemp)
ERR=$(mktemp)
# A volume a scenario mounted, unmounted at the end whichever way the script ends.
FULL_DISK=
# A script that holds something more (an open file) defines release_more, run first.
on_exit() {
  if declare -F release_more >/dev/null; then release_more; fi
  if [ -n "$FULL_DISK" ]; then umount "$FULL_DISK" 2>/dev/null; fi
  session_end
  rm -f "$LOG" "$LOG.expected" "$TOOL_FAILURES" "$OUT" "$OUT.raw" "$OUT.status" "$ERR" "$ERR.raw"
}
trap on_exit EXIT

GUID='{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}'
TITLE=Tessalinecleaner
READ_ONLY='D:P(A;;KR;;;WD)'
DISTRIBUTION_UNIT="HKLM\\Software\\Microsoft\\Code Store Database\\Distribution Units\\$GUID"
MODULE_USAGE='HKLM\Software\Microsoft\Windows\CurrentVersion\ModuleUsage'
LOGGED_MODULE_USAGE='\software\Microsoft\Windows\CurrentVersion\ModuleUsage'
passed=0
failed=0
skipped=0

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

# A scenario this machine cannot run says so, and why; it is no failure.
skip() {
  skipped=$((skipped + 1))
  printf 'SKIP %s\n' "$1"
}

line_of() { grep "^$1" <<<"$2"; }

# How console starts the program; a caller may make it a local of its own to run another build.
CONSOLE_COMMAND=(wine "$BUILD/tessaline-clean.exe")
# Runs the console program; STATUS, and its output in OUT and ERR without the console's CRs. The
# status goes to OUT.status too, for runs in a subshell, whose STATUS is lost. A run that hangs is
# stopped, so the script ends; none reads its input, and one inside a loop over a here-document
# must not take the loop's lines.
console() {
  STATUS=0
  timeout 300 "${CONSOLE_COMMAND[@]}" "$@" </dev/null >"$OUT.raw" 2>"$ERR.raw" || STATUS=$?
  tr -d '\r' <"$OUT.raw" >"$OUT"
  tr -d '\r' <"$ERR.raw" >"$ERR"
  rm -f "$OUT.raw" "$ERR.raw"
  echo "$STATUS" >"$OUT.status"
}

read_status() { read_window "$LOG"; }
wait_status() { wait_for_status "$1" "$LOG"; }

# The log's text and an expected one, byte by byte, so CR LF shows.
log_text() { od -An -c "$LOG" | tr -s ' \n' ' '; }
expected_log() {
  printf '%s\r\n' "$@" >"$LOG.expected"
  od -An -c "$LOG.expected" | tr -s ' \n' ' '
}

# Each pair of lines on standard input, a key's root and its path, as the one line that shows it.
joined() { paste -d '' - -; }
CONTROL=TessalineWeb_EN.ocx

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
  echo "$passed passed, $failed failed$([ "$skipped" -eq 0 ] || echo ", $skipped skipped")"
  [ "$failed" -eq 0 ]
}

# Mounts a tmpfs of the size in KiB at the folder given, open only to its owner (a tmpfs
# is open to everyone by default, 1777, and the program refuses such a folder). Only root may
# mount one; where it cannot, the scenario says it is skipped and why (status 1), and a mount that
# claims success but is not there fails the test (status 2), rather than test the normal disk.
mount_volume() {
  local folder=$1 kib=$2 refused
  mkdir -p "$folder"
  if ! refused=$(mount -t tmpfs -o "size=${kib}k,mode=755" tmpfs "$folder" 2>&1); then
    refused=${refused:-mount failed and said nothing}
    skip "$3: its tmpfs could not be mounted, which takes root and the right to \
mount (this runs as uid $EUID): ${refused//$'\n'/ }"
    return 1
  fi
  FULL_DISK=$folder
  if [ "$(findmnt -rn -b -o FSTYPE,SIZE --mountpoint "$folder")" != "tmpfs $((kib * 1024))" ]; then
    echo "FAIL $3: mount said it mounted the tmpfs, but $folder is not one of ${kib}K" |
      tee -a "$TOOL_FAILURES" >&2
    return 2
  fi
}
unmount_volume() {
  [ -n "$FULL_DISK" ] && umount "$FULL_DISK"
  FULL_DISK=
}
