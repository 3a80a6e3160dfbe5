#!/usr/bin/env bash
# Lists every DLL and function that a PE image imports, from its import
# table and its delay-load descriptors (pe-imports.py), and fails on any that
# the allow-list (default: windows-imports.txt beside this script) does not
# name, and on a DLL imported without delay that Windows does not always map
# from System32.
#   check-imports.sh EXE [ALLOW_LIST]
set -euo pipefail

here=$(dirname "$0")
exe=$1
allow=${2:-$here/windows-imports.txt}
[ -f "$exe" ] || { echo "check-imports: no file $exe" >&2; exit 2; }

# Imported without delay, a DLL is looked for in the exe's folder first,
# before the entry can restrict the search: only Windows' known DLLs, which
# always come from System32, and comctl32, which the manifest's side-by-side
# assembly names, may be. Every other DLL is delay-loaded.
undelayed="advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll"

# "kind dll function" for each import; an import by ordinal alone shows as
# "#ordinal", which no allow-list entry matches.
imports=$(python3 "$here/pe-imports.py" "$exe")
[ -n "$imports" ] || { echo "check-imports: $exe imports nothing" >&2; exit 1; }

refused=$(comm -23 <(echo "$imports" | cut -d' ' -f2- | sort -u) <(grep -v '^#' "$allow" | grep . | sort -u))
echo "$exe imports $(echo "$imports" | wc -l) functions from $(echo "$imports" | cut -d' ' -f2 | sort -u | wc -l) DLLs:"
echo "$imports" | awk '$1 " " $2 != d { if (d) printf "\n"; d = $1 " " $2; printf "  %s (%s):", $2, $1 == "delay" ? "delay-loaded" : "imported" } { printf " %s", $3 } END { printf "\n" }'
status=0
if [ -n "$refused" ]; then
  echo "not in $allow:"
  echo "$refused" | sed 's/^/  /'
  status=1
fi
for dll in $(echo "$imports" | awk '$1 == "import" { print $2 }' | sort -u); do
  case " $undelayed " in
    *" $dll "*) ;;
    *) echo "imported without delay, so looked for beside the exe first: $dll"; status=1 ;;
  esac
done
exit $status
