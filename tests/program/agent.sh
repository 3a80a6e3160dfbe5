#!/usr/bin/env bash
# The program tests' actions on the Linux side, one per call:
#   agent.sh COMMAND [WORDS...]
# forest control (fresh copy, stop, pause, resume, kill), screenshots of the
# Xvfb display and independent reads of the schema. The test driver under
# Wine runs it through /bin/sh (tests/support/Unix.h). Settings:
# FOREST_SCRIPT, FOREST_TEMPLATE, FOREST_RUN_DIR, FOREST_IP (the forest
# fixture's), SHOTS_DIR, DISPLAY.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
schema=CN=Schema,CN=Configuration,DC=samdom,DC=test

forest() { "$FOREST_SCRIPT" "$@"; }

# SIGKILL to the copy's samba and every process below it, as a crash would
# end them. The recorded pid counts only while its start time still matches,
# so a pid reused by some other process is never touched.
kill_samba() {
  local pid started
  read -r pid started <"$FOREST_RUN_DIR/forest.pid" || { echo "no running forest"; return 1; }
  [ "$(sed -e 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{print $20}')" = "$started" ] ||
    { echo "samba $pid is not running"; return 1; }
  local -a tree
  mapfile -t tree < <(ps -e -o pid=,ppid= | awk -v root="$pid" '
    { parent[$1] = $2 }
    END { for (p in parent) { q = p; while (q != "" && q != root && q > 1) q = parent[q]; if (q == root) print p } }')
  kill -KILL "${tree[@]}"
  echo "killed ${tree[*]}"
}

# Prints, for each entry named cn=$1 in the schema, its dn and the attributes
# asked for.
schema_entries() {
  local name=$1; shift
  forest search "$FOREST_RUN_DIR" -b "$schema" -s one "(cn=$name)" dn "$@" \
    | grep -v '^#' | sed '/^$/d'
}

# The program's attribute as LDIF: the first record of the shared file.
attribute_ldif() { awk -v RS= 'NR == 1' "$root/tools/schema-additions.ldif"; }

run() {
  case $1 in
    forest-fresh) forest fresh "$FOREST_TEMPLATE" "$FOREST_RUN_DIR" "$FOREST_IP" ;;
    forest-stop) forest stop "$FOREST_RUN_DIR" ;;
    forest-pause) forest pause "$FOREST_RUN_DIR" ;;
    forest-resume) forest resume "$FOREST_RUN_DIR" ;;
    forest-kill) kill_samba ;;
    screenshot)
      xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$SHOTS_DIR/$2.png" ;;
    schema-count)
      schema_entries "$2" | grep -c '^dn: ' || true ;;
    schema-entry)
      shift; schema_entries "$@" ;;
    # Plants an attribute that holds the program's OID under a name of its
    # own, then tries the program's own attribute the same way and prints the
    # server's answer to it, which the program must show word for word.
    plant-oid-collision)
      forest ldapmodify "$FOREST_RUN_DIR" < <(attribute_ldif | sed 's/WexlorAdmin/OtherAdminFlag/g')
      ! forest ldapmodify "$FOREST_RUN_DIR" < <(attribute_ldif) 2>&1
      ;;
    *) echo "unknown request: $*"; return 2 ;;
  esac
}

[ $# -ge 1 ] || { echo "usage: agent.sh COMMAND [WORDS...]" >&2; exit 2; }
run "$@"
