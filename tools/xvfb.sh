# A private Xvfb display for a script that sources this file:
#   start_xvfb DIR   starts one (its log, display number and pid record in
#                    DIR), exports DISPLAY and sets XVFB_PID
#   stop_xvfb        stops it again, by that pid
. "$(dirname "${BASH_SOURCE[0]}")/lib/session.sh"

start_xvfb() {
  local dir=$1 display=""
  # Xvfb chooses a free display number itself and writes it to fd 5.
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    5>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  XVFB_PID=$!
  # A run killed before it could stop the display leaves it to the next
  # run's clean-up (remove_work, tools/lib/session.sh), which finds it by this record.
  record_pid "$XVFB_PID" "$dir/xvfb.pid"
  for _ in $(seq 200); do
    display=$(head -n 1 "$dir/display" 2>/dev/null || true)
    [ -n "$display" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$display" ]; then
    echo "Xvfb did not start (see $dir/xvfb.log)" >&2
    return 1
  fi
  export DISPLAY=:$display
}

stop_xvfb() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}
