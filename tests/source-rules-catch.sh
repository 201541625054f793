#!/usr/bin/env bash
# Proves that check-sources.sh fails a checkout that breaks a rule: in a copy of this checkout, a
# layer that includes one above it, a product file that includes the in-memory store, and a file
# outside the *_win ones that includes <windows.h>; a version of CMakeLists.txt that
# docs/development.md does not give; a folder, at the top or below, that its layout list leaves
# out, and a folder it names that the checkout does not hold; a file the list names in the wrong
# folder. Each must fail, naming the file or folder; the copy as it is must pass.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-rules.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0

# A fresh copy of the sources as they are now, in a checkout of its own.
fresh_copy() {
  rm -rf "$work/copy"
  mkdir "$work/copy"
  (cd "$root" && git ls-files --cached --others --exclude-standard -z |
    xargs -0 cp --parents -t "$work/copy")
  git -C "$work/copy" init -q && git -C "$work/copy" add -A
}

# Plants the line at the top of the file in a fresh copy; the check must fail with a line that
# names the file and says the rule it breaks.
expect_failure() {
  local file=$1 line=$2 rule=$3
  fresh_copy
  sed -i "1i $line" "$work/copy/$file"
  expect_refused "$file with $line" "$file" "$rule"
}

# The check run on the copy as it was changed (the change told by the first argument): it must
# fail with a line that names the file or folder and says the rule it breaks.
expect_refused() {
  local change=$1 named=$2 rule=$3 output
  if output=$("$root/tools/check-sources.sh" "$work/copy" 2>&1); then
    echo "FAIL the check passed a copy with $change"
    status=1
  elif ! grep -F "$named" <<<"$output" | grep -qF "$rule"; then
    echo "FAIL the check failed, but not naming $named for \"$rule\": $output"
    status=1
  else
    echo "ok: a copy with $change is refused"
  fi
}

fresh_copy
if ! output=$("$root/tools/check-sources.sh" "$work/copy" 2>&1); then
  echo "FAIL the untouched copy does not pass: $output"
  status=1
fi
upward="of a layer that is not below"
expect_failure clean/CleanProcedure.cpp '#include "backup/KeyBackup.h"' "$upward"
expect_failure registry/TRegistry.cpp '#include "clean/CleanTargets.h"' "$upward"
expect_failure console/Report.cpp '#include "unitMain/WindowClean.h"' "$upward"
expect_failure unitMain/WindowClean.cpp '#include "console/Report.h"' "$upward"
expect_failure app/ApplicationTitle.cpp '#include "unitMain/WindowClean.h"' "$upward"
expect_failure backup/RegFile.cpp '#include "registry/memory/MemoryRegistry.h"' "in-memory store"
expect_failure clean/TargetWalk.cpp '#include <windows.h>' "is not one of the *_win files"
expect_failure clean/EveryUser.cpp '#include "backup/KeyBackup.h"' "$upward"

fresh_copy
sed -i 's/^project(TessalineCleaner VERSION [0-9.]* /project(TessalineCleaner VERSION 9.8.7 /' \
  "$work/copy/CMakeLists.txt"
expect_refused "version 9.8.7 in CMakeLists.txt" docs/development.md \
  "does not give the version 9.8.7"

# The layout list against the folders: one made at the top and one below, each with a file; one the
# list names taken out of the list, and one taken out of the checkout; and no list at all.
unlisted="does not list the folder"
fresh_copy
mkdir "$work/copy/scratch" && echo notes >"$work/copy/scratch/notes.txt"
expect_refused "a new folder scratch/" scratch/ "$unlisted"
fresh_copy
mkdir "$work/copy/tests/fixtures" && echo data >"$work/copy/tests/fixtures/keys.txt"
expect_refused "a new folder tests/fixtures/" tests/fixtures/ "$unlisted"
fresh_copy
sed -i '/^ *- `registry\/memory\/`/d' "$work/copy/docs/development.md"
expect_refused "registry/memory/ out of the list" registry/memory/ "$unlisted"
fresh_copy
rm -r "$work/copy/tools/release"
expect_refused "tools/release/ removed" tools/release/ "which the checkout does not hold"
# A file moved without the list following, and one the list names in another folder's item.
fresh_copy
for file in HiveRules.h HiveRules.cpp; do mv "$work/copy/users/$file" "$work/copy/clean/$file"; done
expect_refused "users/HiveRules moved to clean/" HiveRules "under users/, which holds no such file"
fresh_copy
sed -i 's/`Utf16` converts/`FileBackup_win` and `Utf16` convert/' \
  "$work/copy/docs/development.md"
expect_refused "FileBackup_win named under registry/" FileBackup_win "under registry/"
fresh_copy
sed -i 's/^## How the code is laid out$/## The code/' "$work/copy/docs/development.md"
expect_refused "the layout section renamed" docs/development.md "has no list of folders"
exit $status
