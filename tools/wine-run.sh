#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix:
#   wine-run.sh --prefix DIR program.exe [args...]
# Creates the prefix on first use (under a lock, so parallel tests share it)
# and keeps a persistent wineserver so later starts are quick. The exit code
# is the program's.
set -euo pipefail

if [ "${1:-}" != "--prefix" ] || [ $# -lt 3 ]; then
  echo "usage: wine-run.sh --prefix DIR program.exe [args...]" >&2
  exit 2
fi
export WINEPREFIX=$2
shift 2

export WINEDEBUG=${WINEDEBUG:--all}
export WINELOADER=/usr/lib/wine/wine64
# No Mono or Gecko prompts; callers may add overrides of their own.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  # Wine makes every Windows socket inside the wineserver: a server left
  # running from another network namespace (tools/isolated.sh) would carry
  # this program's connections to that namespace's loopback. End it.
  netns=$(readlink /proc/self/ns/net)
  if [ "$(cat "$WINEPREFIX.netns" 2>/dev/null)" != "$netns" ]; then
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    echo "$netns" >"$WINEPREFIX.netns"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-run: creating prefix $WINEPREFIX" >&2
    env -u DISPLAY /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
  fi
  # A server that lingers 60 s after its last client makes every later
  # start take a second or two, and still goes away by itself.
  /usr/lib/wine/wineserver -p60 </dev/null >/dev/null 2>&1 9>&- || true
  # Start the prefix's background services (services.exe, winedevice.exe)
  # here, detached from our output: started by the program itself they would
  # inherit its stdout and keep ctest waiting for the pipe to close.
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$WINEPREFIX.lock"

exec /usr/lib/wine/wine64 "$@"
