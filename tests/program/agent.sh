#!/usr/bin/env bash
# The program tests' actions on the Linux side, one per call:
#   agent.sh COMMAND [WORDS...]
# forest control (fresh copy, stop, pause, resume, kill; the two-DC pair),
# screenshots of the Xvfb display, schema objects planted before a run, the
# LDAP proxy (tools/ldap-proxy.py) between the program and the forest, and
# the fault campaign's queue and evidence. The
# test driver under Wine runs it through /bin/sh (tests/support/Unix.h).
# Settings: FOREST_TEMPLATE, FOREST_RUN_DIR, FOREST_IP (the forest fixture's),
# FOREST_PAIR_TEMPLATE, FOREST_PAIR_RUN, FOREST_PAIR_IPS (the two-DC
# fixture's), PROXY_IP, SESSION_DIR, SHOTS_DIR, DISPLAY; CAMPAIGN_QUEUE,
# CAMPAIGN_EVIDENCE (tests/program/campaign.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)

. "$root/tools/lib/session.sh"

# SIGKILL to the copy's samba and every process below it, as a crash would
# end them; done once they have ended, since a fresh copy on the same
# address may start next, and failed when one survives.
kill_samba() {
  local pid
  pid=$(recorded_pid "$FOREST_RUN_DIR/forest.pid")
  [ -n "$pid" ] || { echo "no running forest in $FOREST_RUN_DIR"; return 1; }
  end_recorded "$FOREST_RUN_DIR/forest.pid" || return 1
  echo "killed samba $pid and the processes below it"
}

# The copy of one DC of the pair: dc1 or dc2.
pair_dc() {
  case $1 in
    dc1 | dc2) echo "$FOREST_PAIR_RUN/$1" ;;
    *) echo "no DC $1 in the pair" >&2; return 2 ;;
  esac
}

# A user of the new class with the new attribute, added on DC $1 over LDAP,
# then read back from that DC's own database.
pair_add_user() {
  local dc dn="CN=wexlor-user,CN=Users,DC=samdom,DC=test"
  dc=$(pair_dc "$1")
  printf '%s\n' "dn: $dn" changetype:\ add objectClass:\ user objectClass:\ WexlorEnterpriseUser \
    sAMAccountName:\ wexlor-user WexlorAdmin:\ TRUE | forest ldapmodify "$dc"
  forest search "$dc" -b "$dn" -s base objectClass WexlorAdmin | grep -v '^#' | sed '/^$/d'
}

screen_to() { xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$1"; }

# The proxy's log and record, where the session's clean-up finds them.
proxy_log=$SESSION_DIR/proxy.log

# The fault campaign's queue: the number of the next case, taken by one lane
# only.
campaign_next() {
  (
    flock 7
    local n
    n=$(cat "$CAMPAIGN_QUEUE")
    echo $((n + 1)) >"$CAMPAIGN_QUEUE"
    echo "$n"
  ) 7>>"$CAMPAIGN_QUEUE.lock"
}

# A failing row's evidence goes to CAMPAIGN_EVIDENCE/NAME
# (tests/program/campaign.sh).
evidence_dir() {
  mkdir -p "$CAMPAIGN_EVIDENCE/$1"
  echo "$CAMPAIGN_EVIDENCE/$1"
}

# The display and the load average at a verdict: evidence-screen NAME LABEL.
evidence_screen() {
  local dir
  dir=$(evidence_dir "$1")
  echo "$2 at $(date -u +%T.%N): load average $(cut -d' ' -f1-3 /proc/loadavg)" >>"$dir/load"
  screen_to "$dir/$2.png"
}

# The processes named, with what each waits in.
process_table() { ps -o pid,ppid,stat,etime,time,wchan:24,args -p "$(IFS=,; echo "$*")"; }

# The rest of what a failing row rests on: evidence-keep NAME [--proxy]
# FACTS... The driver's facts (key=value words) one a line, the case's proxy
# log when the proxy ran for it, the forest copy's log.samba, its pid
# records and the processes they name; the display at the row's verdict.
evidence_keep() {
  local name=$1 dir pid record
  shift
  dir=$(evidence_dir "$name")
  if [ "${1:-}" = --proxy ]; then
    cp "$proxy_log" "$proxy_log.out" "$dir/"
    shift
  fi
  printf '%s\n' "$@" >"$dir/facts"
  evidence_screen "$name" verdict || echo "no screenshot at the verdict" >>"$dir/load"
  cp "$FOREST_RUN_DIR/log/log.samba" "$FOREST_RUN_DIR/log/start.out" "$dir/" 2>/dev/null || true
  for record in "$FOREST_RUN_DIR/forest.pid" "$FOREST_RUN_DIR/run/samba.pid" "$SESSION_DIR/proxy.pid"; do
    [ ! -f "$record" ] || cp "$record" "$dir/$(basename "$record")"
  done
  pid=$(recorded_pid "$FOREST_RUN_DIR/forest.pid")
  if [ -n "$pid" ]; then
    process_table $(process_tree "$pid") >"$dir/samba.ps"
  else
    echo "no samba of $FOREST_RUN_DIR runs" >"$dir/samba.ps"
  fi
  # Where a run that shows nothing waits: the prefix's processes (the
  # program among them, still running at the verdict), the connections on
  # the lane's addresses with their queues, and Wine's own messages.
  process_table $({ grep -lsza "^WINEPREFIX=$WINEPREFIX\$" /proc/[0-9]*/environ || true; } | cut -d/ -f3) \
    >"$dir/wine.ps" 2>&1 || true
  ss -tanpi "( src $FOREST_IP or dst $FOREST_IP or src $PROXY_IP or dst $PROXY_IP )" >"$dir/sockets" 2>&1 || true
  tail -n 300 "$SESSION_DIR/stderr.log" >"$dir/wine-stderr.log" 2>/dev/null || true
  echo "$dir"
}

# The program's attribute as LDIF: its record in the shipped file.
attribute_ldif() { forest ldif "$root/tools/schema-additions.ldif" | awk -v RS= '/objectClass: attributeSchema/'; }

run() {
  case $1 in
    forest-fresh) fresh_forest "$FOREST_TEMPLATE" "$FOREST_RUN_DIR" "$FOREST_IP" ;;
    forest-stop) forest stop "$FOREST_RUN_DIR" ;;
    forest-pause) forest pause "$FOREST_RUN_DIR" ;;
    forest-resume) forest resume "$FOREST_RUN_DIR" ;;
    forest-kill) kill_samba ;;
    pair-fresh) forest fresh-pair "$FOREST_PAIR_TEMPLATE" "$FOREST_PAIR_RUN" $FOREST_PAIR_IPS ;;
    pair-stop) forest stop "$(pair_dc "$2")" ;;
    pair-up) forest up "$(pair_dc "$2")" ;;
    pair-transfer) pair_dc "$2" >/dev/null && forest transfer-schema "$FOREST_PAIR_RUN" "$2" ;;
    pair-add-user) pair_add_user "$2" ;;
    screenshot) screen_to "$SHOTS_DIR/$2.png" ;;
    # Plants an attribute that holds the program's OID under a name of its
    # own, then tries the program's own attribute the same way and prints the
    # server's answer to it, which the program must show word for word.
    plant-oid-collision)
      forest ldapmodify "$FOREST_RUN_DIR" < <(attribute_ldif | sed 's/WexlorAdmin/OtherAdminFlag/g')
      ! forest ldapmodify "$FOREST_RUN_DIR" < <(attribute_ldif) 2>&1
      ;;
    # An earlier CN=WexlorAdmin that is not ours: another lDAPDisplayName and
    # OID, or ours made defunct under another OID.
    plant-foreign-attribute)
      forest ldapmodify "$FOREST_RUN_DIR" < <(attribute_ldif | sed 's/^lDAPDisplayName: .*/lDAPDisplayName: otherWexlorAdmin/;
        s/^attributeID: .*/attributeID: 1.3.6.1.4.1.32473.1.3.91/') ;;
    plant-defunct-attribute)
      forest ldapmodify "$FOREST_RUN_DIR" < <(attribute_ldif | sed 's/^attributeID: .*/attributeID: 1.3.6.1.4.1.32473.1.3.92/';
        echo "isDefunct: TRUE") ;;
    # Both of the program's objects, as another run of it would have left them.
    plant-schema-additions)
      forest ldapmodify "$FOREST_RUN_DIR" < <(forest ldif "$root/tools/schema-additions.ldif") ;;
    forest-adduser) forest adduser "$FOREST_RUN_DIR" "$2" "$3" ;;
    proxy-start) shift; start_proxy "$SESSION_DIR" "$PROXY_IP" "$FOREST_IP" "$@" ;;
    proxy-stop) stop_proxy "$SESSION_DIR" ;;
    proxy-log) cat "$proxy_log" ;;
    campaign-next) campaign_next ;;
    evidence-screen) evidence_screen "$2" "$3" ;;
    evidence-keep) shift; evidence_keep "$@" ;;
    *) echo "unknown request: $*"; return 2 ;;
  esac
}

[ $# -ge 1 ] || { echo "usage: agent.sh COMMAND [WORDS...]" >&2; exit 2; }
run "$@"
