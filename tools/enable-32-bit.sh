#!/usr/bin/env bash
# Lets a kernel that refuses 32-bit x86 Linux programs run them through qemu's user-mode
# emulator, so Wine's 32-bit loader starts. Bookworm's qemu 7.2 does not honour
# MAP_FIXED_NOREPLACE, which makes every Wine process spend about a minute reserving its address
# space; the backported qemu 10 does, and starts one in well under a second.
set -euo pipefail

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
emulator=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc

if ! "$emulator" --version 2>/dev/null | grep -q 'version \(9\|[1-9][0-9]\)\.'; then
  echo "Installing qemu-user-static from bookworm-backports: this kernel runs no 32-bit programs" >&2
  echo "deb http://deb.debian.org/debian bookworm-backports main" |
    $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
  # A mirror in the middle of a sync can fail one list of many; the backports list may still come.
  $sudo apt-get update -qq || echo "Some package lists could not be updated; going on" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    -t bookworm-backports qemu-user-static >&2
fi

[ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
# A registration from an older emulator would keep that emulator open: replace it.
[ -e "$binfmt/tessaline-i386" ] && echo -1 | $sudo tee "$binfmt/tessaline-i386" >/dev/null
# 32-bit little-endian x86 ELF executables and shared objects (the dynamic loader is one).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":tessaline-i386:M::$magic:$mask:$emulator:F" | $sudo tee "$binfmt/register" >/dev/null

/usr/lib/wine/wine --version >/dev/null
