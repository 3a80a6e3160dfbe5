#!/usr/bin/env bash
# Static analysis of the product's code (app/, gui/, framework/, ad/, base/) with Debian's
# cppcheck; exits non-zero on any finding. Usage: tools/lint.sh [CACHE_DIR]
# CACHE_DIR (optional) keeps cppcheck's per-file results between runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! command -v cppcheck >/dev/null; then
  echo "lint: cppcheck is not installed (tools/install-deps.sh installs it)" >&2
  exit 2
fi

cache=()
if [ $# -ge 1 ]; then
  mkdir -p "$1"
  cache=(--cppcheck-build-dir="$1")
fi

# The mingw-w64 headers are not given to cppcheck (it would spend minutes in
# them); its windows library describes the Win32 calls instead, hence
# missingIncludeSystem.
#
# constParameter is dropped only where the parameter is a Win32 handle:
# cppcheck sees HWND, HDC, HANDLE as plain pointers and asks for
# "pointer to const", which means nothing for an opaque handle. The check
# below reads the parameter's declared type from the source line.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
cppcheck --std=c++17 --platform=win64 --library=windows \
  --enable=warning,style,performance,portability --inline-suppr --quiet \
  -I . -I app/res -D UNICODE -D _UNICODE -D _WIN32 -D _WIN64 -D __MINGW32__ \
  --suppress=missingIncludeSystem \
  "${cache[@]}" \
  --template='{file}:{line}: {severity} ({id}): {message}' \
  app gui framework ad base 2>"$out" || true

handles='HWND|HDC|HANDLE|HBITMAP|HICON|HFONT|HBRUSH|HMODULE|HINSTANCE|HMONITOR|HGDIOBJ'
findings=()
while IFS= read -r line; do
  [ -n "$line" ] || continue
  if [[ $line =~ ^([^:]+):([0-9]+):\ style\ \(constParameter\):\ Parameter\ \'([A-Za-z_0-9]+)\' ]]; then
    source=$(sed -n "${BASH_REMATCH[2]}p" "${BASH_REMATCH[1]}")
    if [[ $source =~ ($handles)[[:space:]]+${BASH_REMATCH[3]}([^A-Za-z_0-9]|$) ]]; then
      continue
    fi
  fi
  findings+=("$line")
done <"$out"

if [ ${#findings[@]} -gt 0 ]; then
  printf '%s\n' "${findings[@]}"
  echo "lint: ${#findings[@]} finding(s)" >&2
  exit 1
fi
echo "lint: clean (app/ gui/ framework/ ad/ base/)"
