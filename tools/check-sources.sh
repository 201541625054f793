#!/usr/bin/env bash
# The source rules that no compiler checks: one format everywhere, <windows.h> only in the files
# meant for Windows (named *_win.*), so the core stays buildable and testable on Linux, and each
# layer's files include only the layers below it.
#   check-sources.sh [CHECKOUT]   (the project's own checkout by default)
set -u
cd "${1:-$(dirname "$0")/..}"
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

while IFS= read -r stray; do
  echo "$stray includes <windows.h> but is not one of the *_win files" >&2
  status=1
done < <(grep -l -E '#include[[:space:]]*<windows\.h>' "${sources[@]}" | grep -v -E '_win\.(cpp|h)$')

# Each folder is a layer and may include only itself and the layers named here, all below it. The
# window program's start-up stands on top of the form it starts. The in-memory store is for tests
# and benchmarks alone.
declare -A below=(
  [common]=""
  [registry]="common"
  [clean]="registry common"
  [backup]="clean registry common"
  [console]="backup clean registry common"
  [app]="clean registry common"
  [unitMain]="app clean registry common"
  [app/main_win.cpp]="unitMain app clean registry common"
)
for file in "${sources[@]}"; do
  layer=${file%%/*}
  [ -n "${below[$layer]+set}" ] || continue
  allowed="$layer ${below[$file]-${below[$layer]}}"
  while IFS= read -r included; do
    folder=${included%%/*}
    if [[ $included == registry/memory/* && $file != registry/memory/* ]]; then
      echo "$file includes the in-memory store ($included), which only tests may use" >&2
      status=1
    elif [ -n "${below[$folder]+set}" ] && [[ " $allowed " != *" $folder "* ]]; then
      echo "$file includes $included, of a layer that is not below $layer" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done

# The version is set in CMakeLists.txt; the release section of docs/development.md tells it.
version=$(sed -n 's/^project(TessalineCleaner VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
if [ -z "$version" ] || ! grep -qF "now $version, and it reaches" docs/development.md; then
  echo "docs/development.md does not give the version $version of CMakeLists.txt." >&2
  status=1
fi

[ $status -eq 0 ] && echo "Source rules hold for ${#sources[@]} files."
exit $status
