#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively, then the Windows build
# and its tests under Wine, in a throwaway prefix on a virtual display; then builds the release
# twice and compares, and signs it with a throwaway certificate.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh linux windows

status=0
ctest --preset linux || status=1

source tools/wine-env.sh
source tools/xvfb-env.sh
trap 'wine_end_prefix; stop_virtual_display' EXIT
start_virtual_display
wine_throwaway_prefix
ctest --preset windows || status=1

# The release, built twice in different places, must come out the same bytes.
tools/check-reproducible.sh || status=1
# Signed with a throwaway certificate, both programs' signatures must verify.
tools/check-signing.sh || status=1

exit $status
