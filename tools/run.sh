#!/usr/bin/env bash
# Builds the program and starts it under Wine, in $WINEPREFIX or Wine's default prefix.
#   tools/run.sh           the program, for you to use
#   tools/run.sh --demo    the same in a throwaway prefix with the control installed
# With no display at hand, it runs on a virtual one, presses "Clean", prints the log and the
# status, tells which of the control's keys remain, and saves a screenshot.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
tools/build.sh windows

BUILD=$ROOT/build/windows
TOOLS=$ROOT/tools
EXE=$BUILD/TessalineCleaner.exe
source tools/wine-env.sh
source tools/xvfb-env.sh
source tools/cleaner-session.sh

demo=false
[ "${1:-}" == "--demo" ] && demo=true
have_display=false
[ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && have_display=true

ended() {
  [ -n "${PROGRAM_PID:-}" ] && kill "$PROGRAM_PID" 2>/dev/null
  $demo && wine_end_prefix
  stop_virtual_display
}
trap ended EXIT

if $demo; then
  echo "Preparing a throwaway Wine prefix with the control installed..."
  wine_throwaway_prefix
  seed_installation
fi

if $have_display; then
  wine "$EXE"
  exit
fi

start_virtual_display
start_program "$EXE"
LOG=$(mktemp)
driver key "$CAPTION" enter
status=$(wait_for_status 'Done!' "$LOG")
if [ "$status" != "status 'Done!'" ]; then
  echo "The run stopped with a notice:"
  driver notice Tessalinecleaner | grep '^text'
  driver close-notice Tessalinecleaner ok
  status=$(read_window "$LOG")
fi
echo "Log box:"
tr -d '\r' <"$LOG" | sed 's/^/  /'
echo "Status bar: ${status#status }"
echo "The control's keys (and the neighbours that must stay), in the 32-bit view:"
regtool check 32 "$(winepath -w "$TOOLS/demo-installation.txt")" | tr -d '\r' | uniq | sed 's/^/  /'
if $demo; then
  echo "Copies in the 64-bit view, which a 32-bit control never uses and which must stay:"
  regtool check 64 "$(winepath -w "$TOOLS/demo-installation-64.txt")" | tr -d '\r' | sed 's/^/  /'
fi
mkdir -p artifacts
screenshot "$ROOT/artifacts/run.png"
echo "Screenshot: artifacts/run.png"
driver close "$CAPTION"
wait_program_end || true
rm -f "$LOG"
