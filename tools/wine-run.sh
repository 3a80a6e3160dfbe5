#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix:
#   wine-run.sh --prefix DIR program.exe [args...]
# Creates the prefix on first use (under a lock, so parallel tests share it)
# and keeps a persistent wineserver so later starts are quick. The exit code
# is the program's.
# ADSI_PROVIDER=DLL in the environment: the project's ADSI provider (wine/),
# installed as the prefix's system32\activeds.dll, where Windows keeps the
# real one, and renewed whenever that file differs from DLL. It is loaded
# where WINEDLLOVERRIDES has activeds=n, Wine's own with activeds=b. Every
# prefix gets it here, never beside an exe.
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
  if [ -n "${ADSI_PROVIDER:-}" ]; then
    [ -f "$ADSI_PROVIDER" ] || { echo "wine-run: no provider $ADSI_PROVIDER" >&2; exit 2; }
    installed=$WINEPREFIX/drive_c/windows/system32/activeds.dll
    # Replaced, not overwritten: a program of the prefix may have it mapped.
    if ! cmp -s "$ADSI_PROVIDER" "$installed"; then
      cp "$ADSI_PROVIDER" "$installed.new"
      mv -f "$installed.new" "$installed"
    fi
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
