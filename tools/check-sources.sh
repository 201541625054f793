#!/usr/bin/env bash
# The source rules that no compiler checks: one format everywhere, and <windows.h> only in the
# files meant for Windows (named *_win.*), so the core stays buildable and testable on Linux.
set -u
cd "$(dirname "$0")/.."
status=0

mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort)
# No files means no checkout to check, not a clean one.
if [ ${#sources[@]} -eq 0 ]; then
  echo "No sources found: run this in the project's git checkout." >&2
  exit 1
fi
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "Sources are not formatted: run clang-format -i on the files above." >&2
  status=1
fi

stray=$(grep -l -E '#include[[:space:]]*<windows\.h>' "${sources[@]}" | grep -v -E '_win\.(cpp|h)$')
if [ -n "$stray" ]; then
  echo "<windows.h> included outside *_win files:" >&2
  echo "$stray" >&2
  status=1
fi

# The version is set in CMakeLists.txt; the README tells it.
version=$(sed -n 's/^project(TessalineCleaner VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
if [ -z "$version" ] || ! grep -qF "now $version, and it reaches" README.md; then
  echo "README.md does not give the version $version of CMakeLists.txt." >&2
  status=1
fi

[ $status -eq 0 ] && echo "Source rules hold for ${#sources[@]} files."
exit $status
