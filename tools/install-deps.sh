#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when something is missing,
# so a fresh Debian 12 machine needs nothing installed by hand.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev clang-format
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine32:i386 wine64 fonts-wine fonts-horai-umefont xvfb x11-utils imagemagick)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
# wine32 comes from the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
