#!/usr/bin/env bash
# Times one click of "Clean", from the press to "Done!", on module-usage lists of 500 and 8,000
# matching entries, for the program and for a build whose log box keeps nothing. Prints the
# figures; it passes or fails nothing.
#   click-benchmark.sh BUILD_DIR [PROGRAM...]   (programs default to both builds in BUILD_DIR)
set -euo pipefail
BUILD=$(cd "$1" && pwd)
shift
programs=("$@")
[ ${#programs[@]} -gt 0 ] ||
  programs=("$BUILD/TessalineCleaner.exe" "$BUILD/TessalineCleanerDiscarding.exe")
TOOLS=$(cd "$(dirname "$0")/.." && pwd)
source "$TOOLS/wine-env.sh"
source "$TOOLS/xvfb-env.sh"
source "$TOOLS/cleaner-session.sh"
trap 'session_end 2>/dev/null; WINEPREFIX=$BASE_PREFIX wine_end_prefix; stop_virtual_display' EXIT
start_virtual_display
wine_throwaway_prefix
BASE_PREFIX=$WINEPREFIX
sizes=(500 8000)
for size in "${sizes[@]}"; do
  for i in $(seq -w 1 "$size"); do
    echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\C:/Program Files/App $i/TessalineWeb_EN.ocx"
  done >"$BASE_PREFIX/drive_c/entries-$size.txt"
done
wineserver -w

printf '%-32s %8s %10s %10s\n' program entries "click ms" "ms a key"
for program in "${programs[@]}"; do
  declare -A perKey=()
  for size in "${sizes[@]}"; do
    session_begin "$BASE_PREFIX"
    regtool seed 32 "C:\\entries-$size.txt"
    start_program "$program"
    ms=$(driver timed-click "$CAPTION" 'Done!' | tr -d '\r')
    driver close "$CAPTION"
    wait_program_end
    session_end
    perKey[$size]=$(awk -v ms="$ms" -v n="$size" 'BEGIN { printf "%.3f", ms / n }')
    printf '%-32s %8s %10s %10s\n' "$(basename "$program")" "$size" "$ms" "${perKey[$size]}"
  done
  echo "  a key at 8000 against a key at 500: $(awk -v a="${perKey[8000]}" -v b="${perKey[500]}" \
    'BEGIN { printf "%.2f", a / b }')x"
  unset perKey
done
