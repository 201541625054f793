#!/usr/bin/env bash
# Builds the release twice, here and, a little later, in a copy of the working tree at another
# path, and compares them: both programs and the zip must be the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
# Both builds take the zip's file times from the same commit.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

here=$(tools/release.sh)
copy=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-rebuild.XXXXXX")
trap 'rm -rf "$copy"' EXIT
tree="$copy/somewhere/else/tessaline-cleaner"
mkdir -p "$tree"
# The working tree as it stands, uncommitted changes included, without builds or git.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    [ -e "$file" ] && printf '%s\0' "$file"
  done | xargs -0 cp --parents -t "$tree"
there=$(cd "$tree" && tools/release.sh)

status=0
while IFS= read -r file; do
  if ! cmp -s "build/release/$file" "$tree/build/release/$file"; then
    echo "not reproducible: $file differs between $PWD and $tree" >&2
    status=1
  fi
done < <(cd build/release && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
zip=${here##* }
if [ "${here%% *}" != "${there%% *}" ]; then
  echo "not reproducible: $zip is ${here%% *} here and ${there%% *} there" >&2
  status=1
fi
[ $status -eq 0 ] && echo "reproducible: $zip has SHA-256 ${here%% *} from both builds"
exit $status
