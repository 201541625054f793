#!/usr/bin/env bash
# The source rules that no compiler checks: one format everywhere, <windows.h> only in the files
# meant for Windows (named *_win.*), so the core stays buildable and testable on Linux, and each
# layer's files include only the layers below it. And the two facts of docs/development.md that
# must follow the tree: the version of CMakeLists.txt, and the list of the checkout's folders.
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
  [users]="registry common"
  [clean]="users registry common"
  [backup]="clean users registry common"
  [console]="backup clean users registry common"
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

# The layout list of docs/development.md names exactly the folders of the checkout. A folder of
# the checkout is one that holds a file (tracked, or new and not ignored, as for the sources above)
# at any depth below it, so every top-level folder and every subfolder on the way to a file, hidden
# ones included. A folder of the list is a list item of the section "How the code is laid out"
# that starts with the folder's path in backticks, "- `registry/`: ..." or, indented under its
# folder, "  - `registry/memory/`: ...". A folder added, renamed or removed without the list
# following fails here.
layout=docs/development.md
# Each folder on the way to a file that exists: "a/b/c.txt" gives "a" and "a/b".
mapfile -t held < <(git ls-files --cached --others --exclude-standard |
  while IFS= read -r file; do [ -e "$file" ] && printf '%s\n' "$file"; done |
  awk -F/ '{ path = $1; for (i = 2; i <= NF; i++) { print path; path = path "/" $i } }' |
  LC_ALL=C sort -u)
mapfile -t listed < <(sed -n '/^## How the code is laid out$/,/^## /p' "$layout" 2>/dev/null |
  sed -n 's/^[[:space:]]*- `\([^`]*\)\/`.*/\1/p' | LC_ALL=C sort -u)
if [ ${#listed[@]} -eq 0 ]; then
  echo "$layout has no list of folders under \"## How the code is laid out\"." >&2
  status=1
else
  while IFS= read -r folder; do
    echo "$layout does not list the folder $folder/, which the checkout holds" >&2
    status=1
  done < <(LC_ALL=C comm -23 <(printf '%s\n' "${held[@]}") <(printf '%s\n' "${listed[@]}"))
  while IFS= read -r folder; do
    echo "$layout lists the folder $folder/, which the checkout does not hold" >&2
    status=1
  done < <(LC_ALL=C comm -13 <(printf '%s\n' "${held[@]}") <(printf '%s\n' "${listed[@]}"))
fi

# And each file the list names stands where it names it. Within a folder's item, a name in
# backticks that is a file's name, or a file's name without its ending, anywhere in the checkout
# ("KeyName", "FileBackup_win", "BackupFile.h") must be one in that folder; a name with a "/"
# ("tests/MemoryHives.h") is one from the checkout's top, as is a file of the top itself
# ("CMakePresets.json"), which any item may name. A file moved without the list following,
# or named in another folder's item, fails here.
mapfile -t files < <(git ls-files --cached --others --exclude-standard |
  while IFS= read -r file; do [ -e "$file" ] && printf '%s\n' "$file"; done)
declare -A stems=()
for file in "${files[@]}"; do
  base=${file##*/}
  stems[$base]=1
  [ -n "${base%%.*}" ] && stems[${base%%.*}]=1
done
fileIn() { # fileIn PATH: whether PATH, or PATH with an ending, is a file of the checkout
  local file
  for file in "${files[@]}"; do
    [[ $file == "$1" || $file == "$1".* ]] && return 0
  done
  return 1
}
while IFS=$'\t' read -r folder name; do
  if [[ $name == */ ]]; then
    continue
  elif [[ $name == */* ]]; then
    fileIn "$name" || { echo "$layout names $name, which the checkout does not hold" >&2; status=1; }
  elif [ -n "${stems[$name]+set}" ] || [[ $name =~ ^[A-Za-z0-9_-]+\.(h|cpp|sh)$ ]]; then
    fileIn "$folder/$name" || [ -e "$name" ] ||
      { echo "$layout names $name under $folder/, which holds no such file" >&2; status=1; }
  fi
done < <(sed -n '/^## How the code is laid out$/,/^## /p' "$layout" 2>/dev/null |
  awk '/^[^[:space:]-]/ { folder = "" }
       /^[[:space:]]*- `[^`]*\/`/ { match($0, /`[^`]*\/`/); folder = substr($0, RSTART + 1, RLENGTH - 3) }
       folder != "" { line = $0; sub(/^[[:space:]]*- `[^`]*\/`/, "", line)
         while (match(line, /`[^`]+`/)) { print folder "\t" substr(line, RSTART + 1, RLENGTH - 2)
                                         line = substr(line, RSTART + RLENGTH) } }')

[ $status -eq 0 ] && echo "Source rules hold for ${#sources[@]} files and ${#held[@]} folders."
exit $status
