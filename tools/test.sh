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

. "$root/tools/lib/session.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"

status=0
(cd "$build" && ctest --output-on-failure --timeout 900 -j"$(nproc)") || status=$?

# Whatever the tests leave running ends now (the prefixes' wineservers
# linger for a minute after the last test); the run fails if some survives.
end_leftovers "$build" || status=1
exit $status
