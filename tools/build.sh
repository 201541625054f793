#!/usr/bin/env bash
# Installs what is missing and builds the given presets (linux, windows).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
for preset in "$@"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
