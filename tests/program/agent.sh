#!/usr/bin/env bash
# Carries out, on the Linux side, the requests of a test program that runs
# under Wine: forest control (fresh copy, stop, pause, resume, kill),
# screenshots of the Xvfb display, independent reads of the schema and the
# LDAP proxy (tools/ldap-proxy.py) between the program and the forest.
#   agent.sh REQUEST_DIR
# The program writes REQUEST_DIR/N.req (one line: a command and its words);
# the agent answers with N.out (what the command printed) and then N.rc
# (its exit status), each made whole before it appears. Only the commands
# below exist, and every word must be a plain name: a request can never run
# anything else. Settings: FOREST_SCRIPT, FOREST_TEMPLATE, FOREST_RUN,
# FOREST_IP (the forest fixture's), PROXY_IP, SHOTS_DIR, DISPLAY.
set -euo pipefail

dir=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
schema=CN=Schema,CN=Configuration,DC=samdom,DC=test

forest() { "$FOREST_SCRIPT" "$@"; }

# SIGKILL to the copy's samba and every process below it, as a crash would
# end them. The recorded pid counts only while its start time still matches,
# so a pid reused by some other process is never touched.
kill_samba() {
  local pid started
  read -r pid started <"$FOREST_RUN/forest.pid" || { echo "no running forest"; return 1; }
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
  forest search "$FOREST_RUN" -b "$schema" -s one "(cn=$name)" dn "$@" \
    | grep -v '^#' | sed '/^$/d'
}

# The proxy runs as a child of the agent, so that the agent can stop it by
# its pid; its log is the session's proxy.log.
proxy_log=$(dirname "$dir")/proxy.log
proxy_pid=""
proxy_stop() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; fi
  proxy_pid=""
}
proxy_start() {
  proxy_stop
  : >"$proxy_log"
  python3 "$root/tools/ldap-proxy.py" --listen "$PROXY_IP" --target "$FOREST_IP" --log "$proxy_log" "$@" \
    >"$proxy_log.out" 2>&1 &
  proxy_pid=$!
  local i
  for i in $(seq 100); do
    grep -q '^ *[0-9.]* listening on' "$proxy_log" && return 0
    kill -0 "$proxy_pid" 2>/dev/null || break
    sleep 0.05
  done
  cat "$proxy_log.out"
  proxy_stop
  return 1
}
trap proxy_stop EXIT
trap 'exit 0' TERM INT

# The program's attribute as LDIF: the first record of the shared file.
attribute_ldif() { awk -v RS= 'NR == 1' "$root/tools/schema-additions.ldif"; }

run() {
  case $1 in
    forest-fresh) forest fresh "$FOREST_TEMPLATE" "$FOREST_RUN" "$FOREST_IP" ;;
    forest-stop) forest stop "$FOREST_RUN" ;;
    forest-pause) forest pause "$FOREST_RUN" ;;
    forest-resume) forest resume "$FOREST_RUN" ;;
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
      forest ldapmodify "$FOREST_RUN" < <(attribute_ldif | sed 's/WexlorAdmin/OtherAdminFlag/g')
      ! forest ldapmodify "$FOREST_RUN" < <(attribute_ldif) 2>&1
      ;;
    proxy-start) shift; proxy_start "$@" ;;
    proxy-stop) proxy_stop ;;
    proxy-log) cat "$proxy_log" ;;
    *) echo "unknown request: $*"; return 2 ;;
  esac
}

echo "agent: watching $dir"
while :; do
  for req in "$dir"/*.req; do
    [ -e "$req" ] || continue
    n=${req%.req}
    read -r -a words <"$req" || true
    rm -f "$req"
    rc=0
    bad=""
    for w in "${words[@]}"; do [[ $w =~ ^[A-Za-z0-9_.=-]+$ ]] || bad=$w; done
    if [ ${#words[@]} -eq 0 ] || [ -n "$bad" ]; then
      echo "refused: ${words[*]:-}" >"$n.tmp"; rc=2
    else
      echo "agent: ${words[*]}"
      run "${words[@]}" >"$n.tmp" 2>&1 || rc=$?
    fi
    mv "$n.tmp" "$n.out"
    echo "$rc" >"$n.rctmp"
    mv "$n.rctmp" "$n.rc"
    echo "agent: ${words[*]:-} -> $rc"
  done
  sleep 0.05
done
