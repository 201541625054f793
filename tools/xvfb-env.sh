# Sourced by the scripts that show windows: a virtual display where none is at hand, stopped
# when the script exits.

start_virtual_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return
  fi
  local number
  for number in $(seq 90 120); do
    [ -e "/tmp/.X${number}-lock" ] && continue
    Xvfb ":$number" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$number"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$number" ] && return
      sleep 0.1
    done
  done
  echo "No virtual display could be started." >&2
  return 1
}

stop_virtual_display() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
