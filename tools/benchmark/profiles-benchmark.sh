#!/usr/bin/env bash
# Times "tessaline-clean check --all-users" and "clean --all-users" on a machine whose ProfileList
# names PROFILES profiles (20 unless given) that are not loaded, each with the control's keys in both of its hives,
# against the same runs with no such profile: what the profiles cost, in all and a profile. Each
# figure is the median of three runs, each in a session of its own, from the start of the process
# to its end, the output going to a file (under Wine a terminal costs milliseconds a line). Wine
# loads its own text hives, and a check copies each hive and its logs before it loads the copy.
# Prints the figures; it passes or fails nothing.
#   profiles-benchmark.sh BUILD_DIR [PROFILES]
source "$(dirname "$0")/lib.sh"
wineserver -w
profiles=${2:-20}
guid='{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}'
list='HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList'

# A profile's two hives in Wine's text format, at its real paths, and its ProfileList entry.
# Made in each session, so no hive file shares its bytes with the base prefix's.
add_profiles() {
  local index folder hex
  for index in $(seq 1 "$profiles"); do
    folder=$WINEPREFIX/drive_c/users/user$index
    mkdir -p "$folder/AppData/Local/Microsoft/Windows"
    printf 'WINE REGISTRY Version 2\n\n[%s] 1700000000\n"Count"=dword:00000001\n' \
      "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Ext\\\\Stats\\\\$guid\\\\iexplore" \
      >"$folder/NTUSER.DAT"
    printf 'WINE REGISTRY Version 2\n\n[%s] 1700000000\n@="x"\n\n[%s] 1700000000\n@="x"\n' \
      ActiveFormProj1.ActiveFormX "Wow6432Node\\\\CLSID\\\\$guid\\\\InprocServer32" \
      >"$folder/AppData/Local/Microsoft/Windows/UsrClass.dat"
    hex=$(printf 'C:\\users\\user%s\0' "$index" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 |
      tr -d ' \n')
    echo "$list\\S-1-5-21-1-2-3-$((1000 + index))|ProfileImagePath|2|$hex"
  done >"$WINEPREFIX/drive_c/profiles.txt"
  regtool values 64 'C:\profiles.txt' >/dev/null
}

# Milliseconds of one run of the program with the arguments after the profiles to make (yes or
# no) and the exit status it must end with; a run that ends otherwise is no figure.
timed_run() {
  local with=$1 expected=$2 start end status=0
  shift 2
  session_begin "$BASE_PREFIX"
  [ "$with" = no ] || add_profiles
  wine "$BUILD/tessaline-clean.exe" --version >"$OUTPUT"
  start=$(date +%s%N)
  wine "$BUILD/tessaline-clean.exe" "$@" >"$OUTPUT" 2>&1 || status=$?
  end=$(date +%s%N)
  session_end
  if [ $status -ne "$expected" ]; then
    echo "tessaline-clean $* exited $status, not $expected: $(head -3 "$OUTPUT")" >&2
    exit 1
  fi
  echo $(((end - start) / 1000000))
}

median_of_three() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
figure() {
  median_of_three "$(timed_run "$@")" "$(timed_run "$@")" "$(timed_run "$@")"
}

check_none=$(figure no 0 check --all-users)
check_all=$(figure yes 1 check --all-users)
clean_none=$(figure no 0 clean --all-users)
clean_all=$(figure yes 0 clean --all-users)
printf '%-44s %8s %12s\n' run ms "ms/profile"
printf '%-44s %8s\n' "check --all-users, no profile to load" "$check_none"
printf '%-44s %8s %12s\n' "check --all-users, $profiles profiles not loaded" "$check_all" \
  "$(awk -v a="$check_all" -v b="$check_none" -v n="$profiles" 'BEGIN { printf "%.1f", (a - b) / n }')"
printf '%-44s %8s\n' "clean --all-users, no profile to load" "$clean_none"
printf '%-44s %8s %12s\n' "clean --all-users, $profiles profiles not loaded" "$clean_all" \
  "$(awk -v a="$clean_all" -v b="$clean_none" -v n="$profiles" 'BEGIN { printf "%.1f", (a - b) / n }')"
