#!/usr/bin/env bash
# Checks a program as it ships: no debug sections, no DLL imported beyond the system's (the
# runtime is linked in), and, where given, no larger than the bytes allowed.
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
imports=$(i686-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p')
if [ -z "$imports" ]; then
  echo "no imports read from $program" >&2
  status=1
fi
foreign=$(grep -viE "$system" <<<"$imports")
if [ -n "$foreign" ]; then
  echo "$(basename "$program") imports $foreign" >&2
  status=1
fi
size=$(stat -c %s "$program")
if [ -n "${2:-}" ] && [ "$size" -gt "$2" ]; then
  echo "$(basename "$program") is $size bytes, more than $2" >&2
  status=1
fi
[ $status -eq 0 ] && echo "$(basename "$program"): $size bytes, no debug sections, imports $(echo $imports)"
exit $status
