#!/usr/bin/env bash
# Builds the release from the working tree: both programs, stripped, with a user's README.txt and
# SHA256SUMS, in dist/tessaline-cleaner-<version>-win32.zip, and prints the zip's SHA-256. The
# bytes depend only on the sources: the programs carry no link time and no build folder, and the
# zip holds its files in a fixed order with fixed permissions and the time of the last commit
# (or SOURCE_DATE_EPOCH, where set).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
version=$(sed -n 's/^project(TessalineCleaner VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

# The build's own output goes to stderr: stdout is the zip's checksum alone.
cmake --preset windows >&2
cmake --build --preset windows --target TessalineCleaner tessaline-clean >&2

files=(TessalineCleaner.exe tessaline-clean.exe README.txt SHA256SUMS)
stage=build/release
rm -rf "$stage"
mkdir -p "$stage" dist
cp build/windows/TessalineCleaner.exe build/windows/tessaline-clean.exe "$stage/"
sed "s/@VERSION@/$version/g; s/\$/\r/" tools/release/README.txt.in >"$stage/README.txt"
(cd "$stage" && sha256sum "${files[@]:0:3}" >SHA256SUMS)
chmod 644 "$stage"/*
touch -d "@$epoch" "$stage"/*

zip="dist/tessaline-cleaner-$version-win32.zip"
rm -f "$zip"
# -X leaves out the owner and the extra time fields; zip writes local times, so UTC is fixed.
(cd "$stage" && TZ=UTC zip -X -D -q "$OLDPWD/$zip" "${files[@]}")
sha256sum "$zip"
