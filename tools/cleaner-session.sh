# Sourced by the run command and the end-to-end tests: one session of the program under Wine,
# in a prefix of its own, driven from outside. Needs wine-env.sh and BUILD (the windows build).

CAPTION="Registry Cleaner for TessalineWeb.ocx"

driver() { wine "$BUILD/uidriver.exe" "$@"; }
regtool() { wine "$BUILD/regtool.exe" "$@"; }

# A prefix of its own, copied from a prepared one. Its files are hard links: Wine replaces its
# registry files rather than writing into them, and the rest is only read. The wineserver stays up
# until the session ends, so key security set for a test holds while the program runs.
session_begin() {
  local base=$1
  SESSION_PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-session.XXXXXX")
  cp -al "$base/." "$SESSION_PREFIX/"
  for file in "$SESSION_PREFIX"/*.reg; do
    cp --remove-destination "$base/$(basename "$file")" "$file"
  done
  export WINEPREFIX=$SESSION_PREFIX
  wineserver -p
}

session_end() {
  if [ -n "${PROGRAM_PID:-}" ]; then
    kill "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=
  fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # A script's exit may come before its first session, or after one begun in a subshell.
  if [ -n "${SESSION_PREFIX:-}" ]; then
    rm -rf "$SESSION_PREFIX"
    SESSION_PREFIX=
  fi
}

# The realistic installation of the control, in the 32-bit view, and copies of its per-machine
# keys in the 64-bit view, which a 32-bit cleaner must never touch.
seed_installation() {
  regtool seed 32 "$(winepath -w "$TOOLS/demo-installation.txt")"
  regtool seed 64 "$(winepath -w "$TOOLS/demo-installation-64.txt")"
}

# Starts the program, with the environment settings given after it, and waits for its window.
start_program() {
  env "${@:2}" wine "$1" &
  PROGRAM_PID=$!
  driver find "$CAPTION"
}

# Waits until the program has ended; fails when it does not end in time.
wait_program_end() {
  local waited
  for waited in $(seq 100); do
    kill -0 "$PROGRAM_PID" 2>/dev/null || { wait "$PROGRAM_PID"; local status=$?; PROGRAM_PID=; return $status; }
    sleep 0.1
  done
  return 124
}

# Prints the status text; the log's text goes to the file, with its CR LF intact.
read_window() { driver read "$CAPTION" "$(winepath -w "$1")"; }

# Waits for the status bar to show the text; prints the status it saw last.
wait_for_status() {
  local status
  for _ in $(seq 100); do
    status=$(read_window "$2") || break
    [ "$status" == "status '$1'" ] && break
    sleep 0.1
  done
  echo "$status"
}

# Saves the window as it is on the display.
screenshot() {
  mkdir -p "$(dirname "$1")"
  import -display "$DISPLAY" -window root "$1"
}
