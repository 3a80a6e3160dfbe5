#!/usr/bin/env bash
# Lists every DLL and function that a PE image imports (objdump's import
# tables) and fails on any that the allow-list (default: windows-imports.txt
# beside this script) does not name.
#   check-imports.sh EXE [ALLOW_LIST]
set -euo pipefail

exe=$1
allow=${2:-$(dirname "$0")/windows-imports.txt}
[ -f "$exe" ] || { echo "check-imports: no file $exe" >&2; exit 2; }

# "dll function" for each import, the DLL in lower case; an import by
# ordinal alone shows as "#ordinal", which no allow-list entry matches.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '
  /^\tDLL Name: / { dll = tolower($3); next }
  /^[^ \t]/ { dll = "" }
  dll && /^\t[0-9a-f]+\t/ { print dll, (NF >= 3 ? $3 : "#" $2) }' | sort -u)
[ -n "$imports" ] || { echo "check-imports: $exe imports nothing" >&2; exit 1; }

refused=$(comm -23 <(echo "$imports") <(grep -v '^#' "$allow" | grep . | sort -u))
echo "$exe imports $(echo "$imports" | wc -l) functions from $(echo "$imports" | cut -d' ' -f1 | sort -u | wc -l) DLLs:"
echo "$imports" | awk '$1 != d { if (d) printf "\n"; d = $1; printf "  %s:", d } { printf " %s", $2 } END { printf "\n" }'
if [ -n "$refused" ]; then
  echo "not in $allow:"
  echo "$refused" | sed 's/^/  /'
  exit 1
fi
