#!/usr/bin/env bash
# Times "tessaline-clean clean" with and without --backup on a module-usage list of 10,000
# entries, 100 of them matching with five values each, from the start of the process to its end,
# each the median of three runs on a fresh copy of the registry, the output going to a file (under
# Wine a terminal costs milliseconds a line). Prints the figures; it passes or fails nothing.
#   console-benchmark.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/entries.sh"
for i in $(seq -w 1 10000); do
  if [ $((10#$i % 100)) -eq 0 ]; then
    matching_entry "$i"
  else
    echo "$MODULE_USAGE\\C:/Program Files/App $i/other.ocx"
  fi
done >"$BASE_PREFIX/drive_c/entries.txt"
regtool seed 32 'C:\entries.txt'
wineserver -w

# Milliseconds of one run of the program with the given arguments on a fresh copy.
timed_run() {
  session_begin "$BASE_PREFIX"
  wine "$BUILD/tessaline-clean.exe" --version >/dev/null
  local start end
  start=$(date +%s%N)
  wine "$BUILD/tessaline-clean.exe" "$@" >"$OUTPUT"
  end=$(date +%s%N)
  session_end
  echo $(((end - start) / 1000000))
}

median_of_three() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

plain=$(median_of_three "$(timed_run clean)" "$(timed_run clean)" "$(timed_run clean)")
backed=$(median_of_three "$(timed_run clean --backup 'C:\b.reg')" \
  "$(timed_run clean --backup 'C:\b.reg')" "$(timed_run clean --backup 'C:\b.reg')")
printf '%-34s %8s\n' run ms
printf '%-34s %8s\n' "clean" "$plain"
printf '%-34s %8s\n' "clean --backup" "$backed"
echo "  clean --backup against clean: $(awk -v a="$backed" -v b="$plain" \
  'BEGIN { printf "%.2f", a / b }')x"
