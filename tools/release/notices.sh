#!/usr/bin/env bash
# Prints THIRD-PARTY-NOTICES.txt: each component linked into the programs, the Debian packages
# it was built from with their installed versions, and the licence text as those packages give
# it in /usr/share/doc/<package>/copyright. tests/notices-check.sh holds it to the link maps.
set -euo pipefail

# Component | what it is linked into | its packages | licence files the copyright text refers to
components=(
  "CLI11, the command-line parser|tessaline-clean.exe|libcli11-dev|"
  "nlohmann/json, the JSON writer|tessaline-clean.exe|nlohmann-json3-dev|"
  "The GCC runtime libraries (libstdc++, libgcc, libgcc_eh, libssp), GPL version 3 with the GCC Runtime Library Exception|both programs|g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix|/usr/share/common-licenses/GPL-3"
  "The mingw-w64 runtime (start-up code, C runtime, import libraries, headers) and winpthreads|both programs|mingw-w64-i686-dev mingw-w64-common|"
)
rule() { printf '%.0s=' {1..78}; echo; }

cat <<'TEXT'
Third-party software in TessalineCleaner.exe and tessaline-clean.exe

Both programs are linked statically with the components below. Each entry names the component,
the program it is linked into, the Debian packages the build took it from with their versions,
and the licence text those packages carry.
TEXT
for component in "${components[@]}"; do
  IFS='|' read -r name into packages licences <<<"$component"
  echo
  rule
  echo "$name"
  echo "Linked into: $into"
  texts=()
  for package in $packages; do
    echo "Debian package: $package $(dpkg-query -W -f='${Version}' "$package")"
    texts+=("/usr/share/doc/$package/copyright")
  done
  rule
  # Packages built from one source carry the same text: it is given once.
  printed=()
  for text in "${texts[@]}" $licences; do
    sum=$(sha256sum <"$text")
    [[ " ${printed[*]} " == *" ${sum%% *} "* ]] && continue
    printed+=("${sum%% *}")
    echo
    cat "$text"
  done
done
