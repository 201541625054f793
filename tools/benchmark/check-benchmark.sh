#!/usr/bin/env bash
# Times "tessaline-clean check" and "tessaline-clean clean" on module-usage lists of 2,000, 8,000
# and 16,000 matching entries, one value each, from the start of the process to its end, both on
# registries seeded the same; the median of three rounds of each. A key's cost leaves out the
# process's own start-up, measured with --version. The output goes to a file, as a deployment
# tool takes it: under Wine a terminal or /dev/null costs milliseconds a line, which would time
# Wine, not the program.
# Prints the figures; it passes or fails nothing.
#   check-benchmark.sh BUILD_DIR [PROGRAM]   (the program defaults to BUILD_DIR's)
source "$(dirname "$0")/lib.sh"
program=${2:-$BUILD/tessaline-clean.exe}
sizes=(2000 8000 16000)
for size in "${sizes[@]}"; do
  for i in $(seq -w 1 "$size"); do
    echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\C:/Program Files/App $i/TessalineWeb_EN.ocx|.Owner|Unknown Owner"
  done >"$BASE_PREFIX/drive_c/entries-$size.txt"
done
wineserver -w

# Milliseconds of one run of the program with the arguments after the exit status it must end
# with; a run that ends otherwise is no figure.
timed_run() {
  local expected=$1 start end status=0
  shift
  start=$(date +%s%N)
  wine "$program" "$@" >"$OUTPUT" || status=$?
  end=$(date +%s%N)
  if [ $status -ne "$expected" ]; then
    echo "tessaline-clean $* exited $status, not $expected" >&2
    exit 1
  fi
  echo $(((end - start) / 1000000))
}

printf '%-8s %8s %10s %12s %10s %12s %12s\n' entries start-up "check ms" "check/key" "clean ms" \
  "clean/key" "check/clean"
# Each run in a session of its own on a freshly seeded registry, so neither meets the other's
# leftovers; the start-up is timed in the check's session.
seeded_session() {
  session_begin "$BASE_PREFIX"
  regtool seed 32 "C:\\entries-$1.txt"
}
# A first session warms Wine's caches; it is not timed.
seeded_session "${sizes[0]}"
timed_run 1 check >/dev/null
timed_run 0 clean >/dev/null
session_end
median_of_three() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
for size in "${sizes[@]}"; do
  # Three rounds, a check and a clean in turn, so a machine that slows down meanwhile slows both.
  startups=() checks=() cleans=()
  for round in 1 2 3; do
    seeded_session "$size"
    startups+=("$(timed_run 0 --version)")
    checks+=("$(timed_run 1 check)")
    session_end
    seeded_session "$size"
    timed_run 0 --version >/dev/null
    cleans+=("$(timed_run 0 clean)")
    session_end
  done
  startup=$(median_of_three "${startups[@]}")
  check=$(median_of_three "${checks[@]}")
  clean=$(median_of_three "${cleans[@]}")
  printf '%-8s %8s %10s %12s %10s %12s %12s\n' "$size" "$startup" \
    "$check" "$(awk -v t="$check" -v s="$startup" -v n="$size" 'BEGIN { printf "%.3f", (t - s) / n }')" \
    "$clean" "$(awk -v t="$clean" -v s="$startup" -v n="$size" 'BEGIN { printf "%.3f", (t - s) / n }')" \
    "$(awk -v a="$check" -v b="$clean" 'BEGIN { printf "%.2f", a / b }')"
done
