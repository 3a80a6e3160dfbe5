#!/usr/bin/env bash
# The fault campaign (CampaignTest.cpp) in lanes that run side by side and
# share nothing but the queue of cases: each lane is a session of its own
# (Xvfb display, Wine prefix) with its own forest copy and LDAP proxy on
# loopback addresses of its own. Gathers the lanes' rows into one table.
#   campaign.sh --driver EXE --prefix PREFIX --work DIR --shots DIR FOREST_IP:PROXY_IP...
# Lane i uses PREFIX-i, DIR/lane-i and the i-th pair of addresses; the
# forest template is FOREST_TEMPLATE of the environment.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

driver="" prefix="" work="" shots=""
while [ $# -gt 0 ]; do
  case $1 in
    --driver) driver=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ -z "$driver" ] || [ -z "$prefix" ] || [ -z "$work" ] || [ -z "$shots" ] || [ $# -lt 1 ]; then
  echo "usage: campaign.sh --driver EXE --prefix PREFIX --work DIR --shots DIR FOREST_IP:PROXY_IP..." >&2
  exit 2
fi
lanes=("$@")
begin=$SECONDS

rm -rf "$work"
mkdir -p "$work"
echo 0 >"$work/queue"

pids=()
cleanup() {
  local pid i
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  for i in "${!lanes[@]}"; do "$root/tools/forest.sh" remove "$work/forest-$i" >/dev/null 2>&1 || true; done
}
trap cleanup EXIT

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
