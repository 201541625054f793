#!/usr/bin/env bash
# Builds the release from the working tree: both programs, stripped, with a user's README.txt, the
# project's LICENSE as LICENSE.txt, the deployment kit (deploy/), the documentation pages (docs/)
# and SHA256SUMS, in dist/tessaline-cleaner-<version>-win32.zip, and prints the zip's SHA-256. The
# bytes depend only on the sources: the programs carry no link time and no build folder, and the
# zip holds its files in a fixed order with fixed permissions and the time of the last commit
# (or SOURCE_DATE_EPOCH, where set). THIRD-PARTY-NOTICES.txt gives the licence of everything
# linked in, from the installed Debian packages.
#   release.sh [--sign PFX [--timestamp URL]]
# --sign signs both programs with Authenticode, with the certificate and key in the PKCS#12 file
# PFX, whose password is read from the environment variable TESSALINE_SIGN_PASSWORD (never from
# the command line, where other users of the machine could read it); --timestamp has an RFC 3161
# server countersign each signature, so it stays valid after the certificate expires. A signed
# release is not reproducible: the signature holds the time of signing.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() {
  echo "usage: tools/release.sh [--sign PFX [--timestamp URL]]" >&2
  exit 2
}
pfx=""
timestamp=()
while [ $# -gt 0 ]; do
  case $1 in
    --sign) [ $# -ge 2 ] || usage; pfx=$2; shift 2 ;;
    --timestamp) [ $# -ge 2 ] || usage; timestamp=(-ts "$2"); shift 2 ;;
    *) usage ;;
  esac
done
if [ ${#timestamp[@]} -gt 0 ] && [ -z "$pfx" ]; then
  usage
fi
if [ -n "$pfx" ]; then
  [ -r "$pfx" ] || { echo "release: cannot read $pfx" >&2; exit 1; }
  [ -n "${TESSALINE_SIGN_PASSWORD+set}" ] ||
    { echo "release: set TESSALINE_SIGN_PASSWORD to the password of $pfx" >&2; exit 1; }
fi
tools/install-deps.sh
version=$(sed -n 's/^project(TessalineCleaner VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

# The build's own output goes to stderr: stdout is the zip's checksum alone.
cmake --preset windows >&2
cmake --build --preset windows --target TessalineCleaner tessaline-clean >&2

programs=(TessalineCleaner.exe tessaline-clean.exe)
# The kit and the pages in an order that no locale changes, as the zip's order is its bytes.
mapfile -t pages < <(printf '%s\n' deploy/* docs/*.md | LC_ALL=C sort)
files=("${programs[@]}" README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt "${pages[@]}" SHA256SUMS)
stage=build/release
rm -rf "$stage"
mkdir -p "$stage/deploy" "$stage/docs" dist
for program in "${programs[@]}"; do
  if [ -n "$pfx" ]; then
    # The password reaches osslsigncode through a pipe it reads, not through its arguments.
    osslsigncode sign -pkcs12 "$pfx" -readpass <(printf '%s' "$TESSALINE_SIGN_PASSWORD") \
      -h sha256 -n "TessalineWeb registry cleaner" "${timestamp[@]}" \
      -in "build/windows/$program" -out "$stage/$program" >&2
  else
    cp "build/windows/$program" "$stage/"
  fi
done
sed "s/@VERSION@/$version/g; s/\$/\r/" tools/release/README.txt.in >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
tools/release/notices.sh | sed 's/$/\r/' >"$stage/THIRD-PARTY-NOTICES.txt"
tests/notices-check.sh "$stage/THIRD-PARTY-NOTICES.txt" build/windows >&2
for page in "${pages[@]}"; do
  sed 's/$/\r/' "$page" >"$stage/$page"
done
(cd "$stage" && sha256sum "${files[@]:0:${#files[@]}-1}" >SHA256SUMS)
find "$stage" -type f -exec chmod 644 {} + -exec touch -d "@$epoch" {} +

zip="dist/tessaline-cleaner-$version-win32.zip"
rm -f "$zip"
# -X leaves out the owner and the extra time fields; zip writes local times, so UTC is fixed.
(cd "$stage" && TZ=UTC zip -X -D -q "$OLDPWD/$zip" "${files[@]}")
sha256sum "$zip"
