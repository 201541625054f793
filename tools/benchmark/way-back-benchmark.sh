#!/usr/bin/env bash
# The backup and the way back against the platform's own tools, under Wine, on 2,000 matching
# module-usage entries of five values each: "restore" against "reg import" of the same file, and
# "clean --backup" against "reg export" of the same keys followed by a "clean" without a backup.
# Each run is a whole process (two for export and clean) on a fresh copy of the registry; the
# two sides alternate, each figure is the median of seven, and each ratio the median of the seven
# taken pair by pair, so a machine whose speed drifts during the runs moves both sides of a pair
# alike. Prints the figures and the ratios; it passes or fails nothing.
#   way-back-benchmark.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
TOOLS=$(cd "$(dirname "$0")/.." && pwd)
source "$TOOLS/wine-env.sh"
source "$TOOLS/cleaner-session.sh"
source "$(dirname "$0")/entries.sh"
trap 'session_end; WINEPREFIX=$SEEDED wine_end_prefix; WINEPREFIX=$CLEANED wine_end_prefix' EXIT
SEEDED= CLEANED=
runs=7

wine_throwaway_prefix
SEEDED=$WINEPREFIX
for i in $(seq -w 1 2000); do
  matching_entry "$i"
done >"$SEEDED/drive_c/entries.txt"
regtool seed 32 'C:\entries.txt'
wineserver -w

# The registry after a clean, with its backup, for the restores.
CLEANED=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-wine.XXXXXX")
session_begin "$SEEDED"
wine "$BUILD/tessaline-clean.exe" clean --backup 'C:\b.reg' >/dev/null
# The session's server writes the registry to its files as it ends.
wineserver -k
wineserver -w
cp -a "$SESSION_PREFIX/." "$CLEANED/"
session_end

# Milliseconds of the command run in a fresh copy of the prefix, its output to a file; the program
# has started once in that copy before, so neither side pays for Wine's first start.
timed() {
  local base=$1 start end
  shift
  session_begin "$base"
  # A file of its own, not a hard link to the base's, as restore takes only a file of one name.
  if [ -e "$base/drive_c/b.reg" ]; then
    cp --remove-destination "$base/drive_c/b.reg" "$SESSION_PREFIX/drive_c/b.reg"
  fi
  wine "$BUILD/tessaline-clean.exe" --version >/dev/null
  start=$(date +%s%N)
  # To a file: under Wine, output to /dev/null costs milliseconds a line, which would time Wine.
  "$@" >"$SESSION_PREFIX/output.txt" || echo "$* failed" >&2
  end=$(date +%s%N)
  session_end
  echo $(((end - start) / 1000000))
}
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

restore() { wine "$BUILD/tessaline-clean.exe" restore 'C:\b.reg'; }
import() { wine reg import 'C:\b.reg' /reg:32; }
backed_clean() { wine "$BUILD/tessaline-clean.exe" clean --backup 'C:\new.reg'; }
export_then_clean() {
  wine reg export "$MODULE_USAGE" 'C:\export.reg' /reg:32 && wine "$BUILD/tessaline-clean.exe" clean
}

restores=() imports=() backeds=() exports=() restoreRatios=() backedRatios=()
for _ in $(seq $runs); do
  restores+=("$(timed "$CLEANED" restore)")
  imports+=("$(timed "$CLEANED" import)")
  backeds+=("$(timed "$SEEDED" backed_clean)")
  exports+=("$(timed "$SEEDED" export_then_clean)")
  restoreRatios+=("$(ratio "${restores[-1]}" "${imports[-1]}")")
  backedRatios+=("$(ratio "${backeds[-1]}" "${exports[-1]}")")
done
printf '%-44s %8s\n' run ms
printf '%-44s %8s\n' "restore" "$(median "${restores[@]}")" "reg import" "$(median "${imports[@]}")" \
  "clean --backup" "$(median "${backeds[@]}")" "reg export, then clean" "$(median "${exports[@]}")"
echo "  restore against reg import: $(median "${restoreRatios[@]}")x" \
  "(pairs: ${restoreRatios[*]})"
echo "  clean --backup against reg export and clean: $(median "${backedRatios[@]}")x" \
  "(pairs: ${backedRatios[*]})"
