#!/usr/bin/env bash
# Proves that shipped-check.sh fails a program that has lost one of its hardenings: copies of a
# shipped program without DYNAMIC_BASE, without NX_COMPAT, with its first section writable, and a
# program whose own code has no stack guards. Each must fail, naming what it lacks.
#   shipped-check-catches.sh SHIPPED_PROGRAM UNGUARDED_PROGRAM
set -u
check="$(dirname "$0")/shipped-check.sh"
program=$1
unguarded=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-shipped.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/symbols"
name=$(basename "$program" .exe)
status=0

source "$(dirname "$0")/pe-fields.sh"
# Writes the little-endian value of the given bytes at an offset of the file.
poke() {
  local value=$3 bytes="" index
  for ((index = 0; index < $4; index++)); do
    bytes+=$(printf '\\x%02x' $(((value >> (8 * index)) & 0xff)))
  done
  printf "$bytes" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# Runs the check on a copy changed by the command; it must fail and say the expected text.
expect_failure() {
  local what=$1 expected=$2 copy="$work/$name.exe"
  shift 2
  cp "$program" "$copy"
  cp "$(dirname "$program")/symbols/$name.map" "$work/symbols/"
  "$@" "$copy"
  local output
  if output=$("$check" "$copy" 2>&1); then
    echo "shipped-check passed a program $what" >&2
    status=1
  elif ! grep -qF "$expected" <<<"$output"; then
    echo "shipped-check failed a program $what, without saying \"$expected\": $output" >&2
    status=1
  else
    echo "$what: $output"
  fi
}
characteristics() { echo $(($(u32 "$1" 60) + 24 + 70)); }
clear_flag() { poke "$2" "$(characteristics "$2")" $(($(u16 "$2" "$(characteristics "$2")") & ~$1)) 2; }
writable_first_section() {
  local pe flags
  pe=$(u32 "$1" 60)
  flags=$((pe + 24 + $(u16 "$1" $((pe + 20))) + 36))
  poke "$1" "$flags" $(($(u32 "$1" "$flags") | 0x80000000)) 4
}

expect_failure "without DYNAMIC_BASE" "lacks DYNAMIC_BASE" clear_flag 0x40
expect_failure "without NX_COMPAT" "lacks NX_COMPAT" clear_flag 0x100
expect_failure "with writable code" "both writable and executable" writable_first_section
name=$(basename "$unguarded" .exe)
program=$unguarded
expect_failure "without stack guards" "no function checks its stack frame" true
exit $status
