#!/usr/bin/env bash
# Prints the benchmark figures: the in-memory store natively, the platform calls a deletion and a
# sweep make, the registry object on the real registry under Wine, pinned with the wineserver to
# one CPU, one click of the program on long module-usage lists, the console program's clean with
# and without a backup, its check against its clean, and the cost of profiles whose users are not
# logged on. Figures to read, not tests that pass or fail.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
tools/build.sh linux windows

echo
build/linux/store_benchmark
echo
build/linux/check_benchmark
echo
echo "platform calls, counted by the recording registry:"
build/linux/tests/call_counts_test | grep -E 'calls|PASSED|FAILED'
echo

echo "one click, from the press to \"Done!\", under Wine on a virtual display:"
tools/benchmark/click-benchmark.sh build/windows
echo

echo "the console program on 10,000 module-usage entries, 100 of them matching, under Wine:"
tools/benchmark/console-benchmark.sh build/windows
echo
echo "the console program's check against its clean, on lists of matching entries, under Wine:"
tools/benchmark/check-benchmark.sh build/windows
echo

echo "checking and cleaning 20 profiles whose users are not logged on, under Wine:"
tools/benchmark/profiles-benchmark.sh build/windows
echo

echo "the memory a backup of one 64 MB value and its restore take, under Wine:"
tools/benchmark/backup-memory-benchmark.sh build/windows
echo
echo "the backup and restore against reg export and reg import, on 2,000 entries, under Wine:"
tools/benchmark/way-back-benchmark.sh build/windows
echo

source tools/wine-env.sh
wine_throwaway_prefix
trap wine_end_prefix EXIT
wineserver -k 2>/dev/null || true
wineserver -w
taskset -c 0 wineserver -p
taskset -c 0 wine build/windows/registry_benchmark.exe
