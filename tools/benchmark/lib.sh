# Sourced by the benchmark scripts that run the console program under Wine, with the build folder
# as the first argument: BUILD, the Wine and session helpers, a throwaway prefix to copy sessions
# from (BASE_PREFIX, the current one at first), and OUTPUT, a file for what the program prints,
# as a deployment tool takes it: under Wine a terminal or /dev/null costs milliseconds a line.
# The session, the prefix and the file go when the script ends.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$TOOLS/wine-env.sh"
source "$TOOLS/cleaner-session.sh"
OUTPUT=$(mktemp)
trap 'session_end; WINEPREFIX=$BASE_PREFIX wine_end_prefix; rm -f "$OUTPUT"' EXIT
wine_throwaway_prefix
BASE_PREFIX=$WINEPREFIX
