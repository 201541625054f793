#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when something is missing,
# so a fresh Debian 12 machine needs nothing installed by hand. Where the kernel runs no 32-bit
# Linux programs, Wine's 32-bit loader is run through the user-mode emulator instead.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev clang-format
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine32:i386 wine64 fonts-wine fonts-horai-umefont xvfb x11-utils imagemagick
          icoutils libxml2-utils libcli11-dev nlohmann-json3-dev jq zip)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  # wine32 comes from the i386 architecture.
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >&2
fi

/usr/lib/wine/wine --version >/dev/null 2>&1 || tools/enable-32-bit.sh
