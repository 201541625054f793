#!/usr/bin/env bash
# Proves that check-sources.sh fails a checkout that breaks a rule: in a copy of this checkout, a
# layer that includes one above it, a product file that includes the in-memory store, and a file
# outside the *_win ones that includes <windows.h>. Each must fail, naming the file; the copy
# as it is must pass.
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
  local file=$1 line=$2 rule=$3 output
  fresh_copy
  sed -i "1i $line" "$work/copy/$file"
  if output=$("$root/tools/check-sources.sh" "$work/copy" 2>&1); then
    echo "FAIL the check passed $file with: $line"
    status=1
  elif ! grep -F "$file" <<<"$output" | grep -qF "$rule"; then
    echo "FAIL the check failed, but not naming $file for \"$rule\": $output"
    status=1
  else
    echo "ok: $file with $line is refused"
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
exit $status
