#!/usr/bin/env bash
# Holds THIRD-PARTY-NOTICES.txt to what the build really put into the programs: every library and
# start-up object the shipped programs' link maps name, and every header their objects were
# compiled with (the header-only libraries leave nothing in a map), must come from a Debian
# package that has an entry there with the version installed now.
#   notices-check.sh NOTICES BUILD_DIR
set -u
notices=$1
build=$2
maps=("$build/symbols/TessalineCleaner.map" "$build/symbols/tessaline-clean.map")
for map in "${maps[@]}"; do
  [ -s "$map" ] || { echo "no link map $map" >&2; exit 1; }
done
libraries=$(grep -ohE '/usr/[^ ()]+\.(a|o|obj)' "${maps[@]}")
# The programs' own objects sit under CMakeFiles/ at the top of the build; the tests' elsewhere.
headers=$(ninja -C "$build" -t deps |
  awk '/^[^ ]/ { own = ($1 ~ /^CMakeFiles\//) } /^ / && own && $1 ~ /^\/usr\// { print $1 }')
mapfile -t files < <(printf '%s\n' $libraries $headers | xargs -r realpath -e | sort -u)
if [ ${#files[@]} -eq 0 ] || [ -z "$libraries" ]; then
  echo "no library read from ${maps[*]}" >&2
  exit 1
fi

declare -A owner=()
while IFS= read -r line; do
  owner[${line#*: }]=${line%%: *}
done < <(dpkg -S "${files[@]}" 2>/dev/null)
status=0
declare -A packages=()
for file in "${files[@]}"; do
  if [ -z "${owner[$file]:-}" ]; then
    echo "$file went into a program, but no Debian package owns it, so it has no notice" >&2
    status=1
  else
    packages[${owner[$file]}]=1
  fi
done
text=$(tr -d '\r' <"$notices")
for package in "${!packages[@]}"; do
  version=$(dpkg-query -W -f='${Version}' "$package")
  if ! grep -qxF "Debian package: $package $version" <<<"$text"; then
    echo "$package $version went into a program and has no entry in $notices" >&2
    status=1
  fi
done
[ $status -eq 0 ] &&
  echo "notices cover the ${#files[@]} files built in, from $(printf '%s\n' "${!packages[@]}" | sort | xargs)"
exit $status
