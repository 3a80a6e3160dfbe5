#!/usr/bin/env bash
# The one test command: installs what is missing, then configures, builds and
# runs every test (unit, directory, program) under Wine, all of it inside a
# private network namespace with only loopback up (tools/isolated.sh).
# Usage: tools/test.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

if [ -z "${SCHEMA_MODIFY_ISOLATED:-}" ]; then
  "$root/tools/install-deps.sh"
  exec "$root/tools/isolated.sh" "$0" "$build"
fi

# Wine makes every Windows socket inside the prefix's wineserver: a server
# left from a run in another network namespace would carry this run's
# connections to that namespace's loopback. End any such server first; each
# lingers for a minute after its last program, so end them afterwards too.
end_wineservers() {
  local prefix
  for prefix in "$build"/wineprefix*; do
    [ ! -d "$prefix" ] || WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
}
end_wineservers

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"

status=0
(cd "$build" && ctest --output-on-failure --timeout 900) || status=$?
end_wineservers
exit $status
