#!/usr/bin/env bash
# Checks a program as it ships: no debug sections, no DLL imported beyond the system's (the
# runtime is linked in), hardened (loaded at a random address, its data never run, no section
# both writable and runnable, its own functions checking their stack frames, the DLL search held
# to System32) and, where given, no larger than the bytes allowed. The stack check is read from
# the link map the build keeps in symbols/ beside the program.
#   shipped-check.sh PROGRAM [MAX_BYTES]
set -u
program=$1
status=0
headers=$(i686-w64-mingw32-objdump -h "$program") || exit 1
if grep -q '\.debug' <<<"$headers"; then
  echo "$(basename "$program") carries debug sections" >&2
  status=1
fi
system='^(ADVAPI32|COMCTL32|GDI32|KERNEL32|msvcrt|ntdll|SHELL32|USER32)\.dll$'
private=$(i686-w64-mingw32-objdump -p "$program") || exit 1
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$private")
if [ -z "$imports" ]; then
  echo "no imports read from $program" >&2
  status=1
fi
foreign=$(grep -viE "$system" <<<"$imports")
if [ -n "$foreign" ]; then
  echo "$(basename "$program") imports $foreign" >&2
  status=1
fi

for flag in DYNAMIC_BASE NX_COMPAT; do
  if ! grep -qE "^\s+$flag\s*$" <<<"$private"; then
    echo "$(basename "$program") lacks $flag in its DllCharacteristics" >&2
    status=1
  fi
done

# The section table, read from the headers: a section both writable and executable is a place
# where written data can be run.
source "$(dirname "$0")/pe-fields.sh"
pe=$(u32 "$program" 60)
sections=$(u16 "$program" $((pe + 6)))
table=$((pe + 24 + $(u16 "$program" $((pe + 20)))))
for ((index = 0; index < sections; index++)); do
  entry=$((table + 40 * index))
  flags=$(u32 "$program" $((entry + 36)))
  if ((flags & 0x20000000 && flags & 0x80000000)); then
    echo "$(basename "$program"): section $(dd if="$program" bs=1 skip=$entry count=8 \
      status=none | tr -d '\0') is both writable and executable" >&2
    status=1
  fi
done

# libssp comes with the C library's checked calls too, so its presence proves nothing: some
# code outside it must call __stack_chk_fail, as each function the compiler guards does.
map="$(dirname "$program")/symbols/$(basename "$program" .exe).map"
if [ ! -s "$map" ]; then
  echo "no link map $map" >&2
  status=1
else
  fail=$(awk '$2 == "__stack_chk_fail" { print $1; exit }' "$map")
  mapfile -t ssp < <(awk '$1 ~ /^\.text/ && $4 ~ /libssp\.a\(/ { print $2, $3 }' "$map")
  guarded=0
  if [ -n "$fail" ]; then
    while read -r at; do
      for range in "${ssp[@]}"; do
        read -r start length <<<"$range"
        ((0x$at >= start && 0x$at < start + length)) && continue 2
      done
      guarded=$((guarded + 1))
    done < <(i686-w64-mingw32-objdump -d --no-show-raw-insn "$program" |
      sed -nE "s/^ *([0-9a-f]+):\s+call\s+$(printf '0x%x' "$fail")\s*$/\1/p")
  fi
  if [ "$guarded" -eq 0 ]; then
    echo "$(basename "$program"): no function checks its stack frame (no call to __stack_chk_fail${fail:+ at $fail} outside libssp)" >&2
    status=1
  fi
fi

# The DLL search is set at run time: the call where it exists is looked up by name, the older
# one imported.
if ! grep -qaF SetDefaultDllDirectories "$program" || ! grep -qE '\sSetDllDirectoryW$' <<<"$private"; then
  echo "$(basename "$program") does not hold its DLL search to System32" >&2
  status=1
fi

size=$(stat -c %s "$program")
if [ -n "${2:-}" ] && [ "$size" -gt "$2" ]; then
  echo "$(basename "$program") is $size bytes, more than $2" >&2
  status=1
fi
[ $status -eq 0 ] && echo "$(basename "$program"): $size bytes, no debug sections, imports $(echo $imports), DYNAMIC_BASE NX_COMPAT, no writable code, $guarded guarded calls"
exit $status
