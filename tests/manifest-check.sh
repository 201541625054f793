#!/usr/bin/env bash
# Reads the manifest resource out of a program and checks its elements, not its words: a real
# execution level (no registry virtualisation) and the UTF-8 code page; for the window program
# also visual styles and system DPI awareness, for the console program no elevation prompt.
# Text inside XML comments counts for nothing. The manifest's and the version resource's version
# must be the project's.
#   manifest-check.sh PROGRAM window|console VERSION
set -u
manifest=$(wrestool -x --raw --type=24 --name=1 "$1") || { echo "no manifest resource in $1" >&2; exit 1; }
[ -n "$manifest" ] || { echo "the manifest resource of $1 is empty" >&2; exit 1; }
status=0
expect() {
  local actual
  actual=$(xmllint --xpath "string($2)" - <<<"$manifest" 2>/dev/null)
  if [ "$actual" != "$3" ]; then
    echo "manifest: $1 is '$actual', not '$3'" >&2
    status=1
  fi
}
el() { echo "//*[local-name()='$1']"; }
expect "UI access" "$(el requestedExecutionLevel)/@uiAccess" false
expect "code page" "$(el activeCodePage)" UTF-8
expect "version" "$(el assemblyIdentity)[1]/@version" "$3"
# The version resource's strings are UTF-16: FileVersion and ProductVersion.
strings=$(wrestool -x --raw --type=16 "$1" | strings -el)
if [ "$(grep -cxF "$3" <<<"$strings")" -ne 2 ]; then
  echo "version resource: not FileVersion and ProductVersion $3" >&2
  status=1
fi
if [ "$2" == console ]; then
  expect "execution level" "$(el requestedExecutionLevel)/@level" asInvoker
else
  expect "execution level" "$(el requestedExecutionLevel)/@level" highestAvailable
  expect "common controls" \
    "$(el dependentAssembly)/*[local-name()='assemblyIdentity']/@name" Microsoft.Windows.Common-Controls
  expect "common controls version" \
    "$(el dependentAssembly)/*[local-name()='assemblyIdentity']/@version" 6.0.0.0
  expect "DPI awareness" "$(el dpiAware)" true
fi
[ $status -eq 0 ] && echo "The manifest of $(basename "$1") holds every setting."
exit $status
