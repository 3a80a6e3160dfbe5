#!/usr/bin/env bash
# The one test command: installs what is missing, configures, builds and runs
# every test (unit, directory, program) under Wine. Usage: tools/test.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

"$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"

status=0
(cd "$build" && ctest --output-on-failure --timeout 900) || status=$?

# The prefix's wineserver lingers for a minute after the last test; end it now.
WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
