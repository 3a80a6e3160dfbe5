#!/usr/bin/env bash
# The fault campaign (CampaignTest.cpp) in lanes that run side by side and
# share nothing but the queue of cases: each lane is a session of its own
# (Xvfb display, Wine prefix) with its own forest copy and LDAP proxy on
# loopback addresses of its own. Gathers the lanes' rows into one table; a
# failing row names where its evidence is kept (DIR/evidence/row-N).
#   campaign.sh [--cases N,N...] [--killed-first] --driver EXE --prefix PREFIX --work DIR
#               --shots DIR FOREST_IP:PROXY_IP...
# Lane i uses PREFIX-i, DIR/lane-i and the i-th pair of addresses; the
# forest template is FOREST_TEMPLATE of the environment. --cases runs only
# the cases of those numbers (the table's order; repeats allowed).
# --killed-first kills a run at its first row, then runs again (see
# killed_first).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/tools/lib/session.sh"

driver="" prefix="" work="" shots="" killed_first=0
arguments=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --cases) export CAMPAIGN_CASES=$2; shift 2 ;;
    --killed-first) killed_first=1; shift ;;
    --driver) driver=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ -z "$driver" ] || [ -z "$prefix" ] || [ -z "$work" ] || [ -z "$shots" ] || [ $# -lt 1 ]; then
  echo "usage: campaign.sh [--cases N,N...] [--killed-first] --driver EXE --prefix PREFIX --work DIR" \
    "--shots DIR FOREST_IP:PROXY_IP..." >&2
  exit 2
fi
lanes=("$@")
begin=$SECONDS

# The processes of the runs whose environment carries TOKEN, by pid: those
# that carry it, and those that hold a file open under the work directory
# (samba writes its process titles over its environment).
carrying() {
  { grep -lsza "^CAMPAIGN_RUN=$1" /proc/[0-9]*/environ || true
    find /proc/[0-9]*/fd -lname "$work/*" 2>/dev/null || true; } | cut -d/ -f3 | sort -un
}

# A run killed as ctest kills a test at its time-out (SIGKILL to it and what
# runs below it) at its first row leaves its daemons (samba, Wine's detached
# processes) running: if it left nothing, the recovery would go untested,
# and that fails. The run after it must end them by their records before it
# starts, and pass; then nothing of either run may be left. Everything a run
# starts inherits a token in its environment (Wine passes it on to the Linux
# programs it starts too), whatever its records say.
killed_first() {
  local again=() word token=$$-$RANDOM killed status=0 left
  for word in "${arguments[@]}"; do [ "$word" = --killed-first ] || again+=("$word"); done
  remove_work "$work" || return 1
  CAMPAIGN_RUN=$token-killed setsid "$0" "${again[@]}" >"$work.killed.out" 2>&1 &
  killed=$!
  until grep -qs '^row ' "$work"/lane-*.out; do
    if ! kill -0 "$killed" 2>/dev/null; then
      echo "the run to kill ended before its first row:"
      cat "$work.killed.out"
      return 1
    fi
    sleep 0.2
  done
  kill -KILL -- "-$killed"
  wait "$killed" || true
  mapfile -t left < <(carrying "$token")
  echo "the run killed at its first row left ${#left[@]} processes running:"
  described "${left[@]}"
  [ ${#left[@]} -gt 0 ] || { echo "so there was nothing for the run after it to end"; return 1; }
  CAMPAIGN_RUN=$token-again "$0" "${again[@]}" || status=$?
  mapfile -t left < <(carrying "$token")
  if [ ${#left[@]} -gt 0 ]; then
    echo "left running after the run that followed it:"
    described "${left[@]}"
    return 1
  fi
  echo "the run after it ended them and exited with $status; nothing of either is left"
  return $status
}
if [ "$killed_first" = 1 ]; then
  killed_first
  exit
fi

# What a run that was killed left running there ends before anything starts.
open_work "$work"
echo 0 >"$work/queue"
export CAMPAIGN_EVIDENCE=$work/evidence
# Wine's own error messages (a program that cannot reach its display or
# load a library says why there, and nowhere else) go to each lane's
# stderr.log, whose last lines a failing row's evidence keeps.
export WINEDEBUG=${WINEDEBUG:--all,err+all}

pids=()
cleanup() {
  local status=$1 pid i
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  for i in "${!lanes[@]}"; do forest remove "$work/forest-$i" >/dev/null || status=1; done
  close_work "$status"
}
trap 'cleanup $?' EXIT

for i in "${!lanes[@]}"; do
  forest_ip=${lanes[$i]%%:*} proxy_ip=${lanes[$i]##*:}
  CAMPAIGN_LANE=$i CAMPAIGN_QUEUE=$work/queue FOREST_IP=$forest_ip PROXY_IP=$proxy_ip \
    WINEADSI_SERVER=$forest_ip FOREST_RUN_DIR=$work/forest-$i \
    "$here/../support/session.sh" --prefix "$prefix-$i" --work "$work/lane-$i" --shots "$shots/lane-$i" \
    -- "$driver" >"$work/lane-$i.out" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || { status=1; echo "lane $i failed; its output:"; tr -d '\r' <"$work/lane-$i.out"; }
done
pids=()

# Every lane recorded a clean run of its own; the cases are the same only if
# the runs are.
tr -d '\r' <"$work/lane-0.out" | sed -n '/^the clean run made/,/^cases /p' >"$work/requests"
cat "$work/requests"
for i in "${!lanes[@]}"; do
  if ! tr -d '\r' <"$work/lane-$i.out" | sed -n '/^the clean run made/,/^cases /p' | cmp -s - "$work/requests"; then
    echo "lane $i recorded other requests than lane 0"
    status=1
  fi
done
cases=$(sed -n 's/^cases //p' "$work/requests")

cat <<'EOF'

recovery: "success": a clean run afterwards, straight to the DC, showed success and the schema
          then held both objects with every value;
          "untouched": the schema holds neither object, read over LDAP from the DC itself as
          Administrator (so the DC answers a bind and a read straight, without the proxy): the
          state from which the recorded clean run succeeded (the program keeps nothing between
          runs); the next case runs on that same forest.
EOF
printf '\n%3s %-8s %-13s %-60s %-18s %s\n' "k" "request" "fault" "shown" "directory holds" "recovery"
cat "$work"/lane-*.out | tr -d '\r' | sed -n 's/^row \([0-9]*\)|/\1\t/p' | sort -n | cut -f2- >"$work/rows"
cat "$work/rows"
cat "$work"/lane-*.out | tr -d '\r' | grep '^lane [0-9]*: ' || true
rows=$(wc -l <"$work/rows")
consistent=$(grep -vc 'INCONSISTENT' "$work/rows" || true)
if [ "${cases:-0}" -eq 0 ] || [ "$rows" -ne "$cases" ]; then
  echo "the lanes ran $rows of ${cases:-no} cases"
  status=1
fi
echo "campaign took $((SECONDS - begin)) s in ${#lanes[@]} lanes"
echo "$rows faults injected, $consistent consistent"
[ "$consistent" -eq "$rows" ] || status=1
exit $status
