#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when something is missing,
# so a fresh Debian 12 machine needs nothing installed by hand. Where the kernel runs no 32-bit
# Linux programs, Wine's 32-bit loader is run through the user-mode emulator instead.
# Each step prints one line, what it did and how long it took; the package manager's own output
# goes to build/install-deps.log and is shown only when its step fails.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ googletest libgtest-dev clang-format
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine32:i386 wine64 fonts-wine fonts-horai-umefont xvfb x11-utils imagemagick
          icoutils libxml2-utils libcli11-dev nlohmann-json3-dev jq zip osslsigncode openssl)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
log=build/install-deps.log
logged=0

# Runs one step with its output added to this run's log; on failure prints that step's output
# and stops, unless told to let it pass (--may-fail), which it says in its line.
step() {
  local mayFail=0
  if [ "$1" = --may-fail ]; then
    mayFail=1
    shift
  fi
  local what=$1 start=$SECONDS status=0
  shift
  if [ $logged -eq 0 ]; then
    mkdir -p build
    : >"$log"
    logged=1
  fi
  local from=$(($(wc -l <"$log") + 1))
  echo "== $what: $*" >>"$log"
  "$@" >>"$log" 2>&1 || status=$?
  if [ $status -ne 0 ] && [ $mayFail -eq 1 ]; then
    echo "install-deps: $what: failed in part (exit $status), going on; see $log" >&2
    return $status
  fi
  if [ $status -ne 0 ]; then
    echo "install-deps: $what: failed, exit $status after $((SECONDS - start)) s; from $log:" >&2
    tail -n "+$from" "$log" >&2
    exit $status
  fi
  echo "install-deps: $what, $((SECONDS - start)) s" >&2
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # wine32 comes from the i386 architecture.
  dpkg --print-foreign-architectures | grep -qx i386 ||
    step "i386 architecture added" $sudo dpkg --add-architecture i386
  # A mirror in the middle of a sync can fail one list of many (the security archive's i386
  # list, say); what is to be installed is then asked of the lists that came.
  step --may-fail "package lists updated" $sudo apt-get update -qq || true
  install=($sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends)
  # With one architecture's security list missing, the 32-bit libraries Wine needs cannot match
  # the 64-bit ones of the security archive; bookworm's own release has both at the same versions.
  step --may-fail "installed ${missing[*]}" "${install[@]}" "${missing[@]}" ||
    step "installed ${missing[*]} from bookworm's release" "${install[@]}" -t bookworm "${missing[@]}"
fi

/usr/lib/wine/wine --version >/dev/null 2>&1 ||
  step "32-bit programs run through qemu-user-static" tools/enable-32-bit.sh
