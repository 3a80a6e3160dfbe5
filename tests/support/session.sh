#!/usr/bin/env bash
# Runs one Windows test program under Wine on a private Xvfb display, whose
# screenshots go to the --shots directory (SHOTS_DIR); ends the display, the
# prefix's processes and whatever the tests' Linux-side helpers left running
# with a pid record in the --work directory (SESSION_DIR/*.pid) afterwards,
# and what a killed session left there before it starts.
#   session.sh --prefix WINEPREFIX --work DIR --shots DIR -- program.exe [args...]
# The exit code is the program's; 1 when something of the session survives.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tools/lib/session.sh"

prefix="" work="" shots=""
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "session: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ -z "$prefix" ] || [ -z "$work" ] || [ -z "$shots" ] || [ $# -lt 1 ]; then
  echo "usage: session.sh --prefix DIR --work DIR --shots DIR -- program.exe [args...]" >&2
  exit 2
fi

# The prefix's wineserver (and the desktop it keeps) belongs to this
# session's display: one left over from an earlier session would still hold
# that session's DISPLAY, and windows would open on a display nobody looks at.
end_prefix "$prefix"
open_work "$work" "$prefix"
mkdir -p "$shots"
rm -f "$shots"/*.png

closing() {
  local status=$?
  grep -vE '^[0-9a-f]+:[0-9a-f]+:[a-z]+:' "$work/stderr.log" >&2 2>/dev/null || true
  close_work $status
}
trap closing EXIT

start_xvfb "$work"
echo "session: Xvfb pid $(recorded_pid "$work/xvfb.pid") on $DISPLAY" >&2

# Without a window manager, X11 decorations never appear, and every window
# that is hidden or destroyed waits 2 s for one to see it withdrawn (each
# program's exit took that long): Wine draws the caption and close box
# itself, so the tests can click them, and places its windows itself. The
# DLL overrides that a test program set for the exe are cleared: a driver
# killed at its time-out runs no destructor, and a later one would find the
# exe running Wine's own ADSI, or DLLs planted beside it.
cat >"$work/session.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"

[-HKEY_CURRENT_USER\Software\Wine\AppDefaults\schema-modify.exe\DllOverrides]
EOF
"$root/tools/wine-run.sh" --prefix "$prefix" regedit /s "Z:$work/session.reg" >/dev/null 2>&1

export SHOTS_DIR=$shots SESSION_DIR=$work
# Wine writes the trace of every process that the driver starts to the
# driver's own Unix stderr, whatever the process's handles say: it goes to
# stderr.log, where a test reads the lines of a program that it started
# with WINEDEBUG=+pid,... (they begin with its process and thread ids). A
# file, not a pipe: the forests that a test starts inherit it and outlive
# the driver.
status=0
"$root/tools/wine-run.sh" --prefix "$prefix" "$@" 2>"$work/stderr.log" || status=$?
echo "session: screenshots in $shots" >&2
exit $status
