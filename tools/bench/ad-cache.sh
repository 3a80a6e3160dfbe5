#!/usr/bin/env bash
# The program on Windows AD's schema-cache timing: a new attribute unknown to
# class adds until 300 s after the last schema add (tools/ldap-proxy.py
# --lag-seconds, nothing writing schemaUpdateNow), on a fresh Samba forest.
# Runs the exe twice through the proxy with "&Setup" pressed and prints each
# run's result text and time from Setup to the final display, with the class
# adds the proxy saw, beside a baseline: one run through the proxy without
# the lag (Samba's timing). Takes 6 to 11 minutes, so it is no ctest test.
#   tools/bench/ad-cache.sh [BUILD_DIR] [LAG_SECONDS]
#     (FOREST_IP, default 127.0.0.8; PROXY_IP, default 127.0.0.11)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tools/lib/session.sh"
build=${1:-$root/build-bench}
lag=${2:-300}
ip=${FOREST_IP:-127.0.0.8}
proxy_ip=${PROXY_IP:-127.0.0.11}
loopback_only "$ip" "$proxy_ip" || exit 2
say() { echo "ad-cache: $*" >&2; }

mkdir -p "$build"
build=$(cd "$build" && pwd)
say "building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target schema-modify activeds_provider bench-probe >/dev/null
work=$build/ad-cache
open_work "$work" "$build/wineprefix-ad-cache"
trap 'close_work $?' EXIT
mkdir -p "$work/bin" "$work/provider"
cp "$build/app/schema-modify.exe" "$build/tools/bench/bench-probe.exe" "$work/bin/"
# A copy of the provider (never beside the exe), so that a rebuild during the
# runs changes neither of them.
cp "$build/wine/activeds.dll" "$work/provider/"
export ADSI_PROVIDER=$work/provider/activeds.dll WINEPREFIX=$build/wineprefix-ad-cache WINEDEBUG=-all

start_xvfb "$work"

log=$work/proxy.log
fresh_proxy() {  # fresh_proxy [OPTIONS...]: a fresh forest and the proxy in front of it
  fresh_forest "$build/bench-forest-template" "$work/forest" "$ip" >/dev/null
  start_proxy "$work" "$proxy_ip" "$ip" "$@"
}

run() {  # run N: one run of the exe with Setup pressed, its output in $work/runN.txt
  (cd "$work/bin" && env WINEDLLOVERRIDES=activeds=n WINEADSI_SERVER="$proxy_ip" \
    WINEADSI_USER=Administrator@samdom.test WINEADSI_PASSWORD=Passw0rd-Admin1 \
    "$root/tools/wine-run.sh" --prefix "$WINEPREFIX" "$work/bin/bench-probe.exe" --setup Z:"$work/bin/schema-modify.exe") \
    >"$work/run$1.txt"
}
value() { tr -d '\r' <"$work/run$1.txt" | sed -n "s/^$2=//p" | tail -n1; }
class_adds() { grep -c ' add dn="CN=WexlorEnterpriseUser,' "$log" || true; }
refused() { grep -c ' add dn="CN=WexlorEnterpriseUser,.*answered 16' "$log" || true; }

say "baseline: one run through the proxy without the lag (Samba's timing), on a fresh forest"
fresh_proxy
run 0
say "a fresh forest again, the proxy with a cache lag of $lag s; first run (Setup to final takes about $lag s)"
fresh_proxy --lag-seconds "$lag"
run 1
adds1=$(class_adds) refused1=$(refused)
say "second run"
run 2
base=$(value 0 setup_to_final_ms)
ratio() { awk -v a="$1" -v b="$base" 'BEGIN { if (a != "" && b > 0) printf "%.1f", a / b; else print "n/a" }'; }

cat <<EOF2
schema-modify on AD's schema-cache timing ($(date -u +%Y-%m-%dT%H:%MZ), Wine $(/usr/lib/wine/wine64 --version | sed 's/^wine-//'),
forest on $ip, proxy on $proxy_ip: class adds refused until $lag s after the last schema add)

run       Setup to final display (ms)   ratio to baseline   class adds (refused)   result
baseline  $(printf '%-29s %-19s %-22s' "$base" 1.0 "-") $(value 0 result)
first     $(printf '%-29s %-19s %-22s' "$(value 1 setup_to_final_ms)" "$(ratio "$(value 1 setup_to_final_ms)")" "$adds1 ($refused1)") $(value 1 result)
second    $(printf '%-29s %-19s %-22s' "$(value 2 setup_to_final_ms)" "$(ratio "$(value 2 setup_to_final_ms)")" "$(($(class_adds) - adds1)) ($(($(refused) - refused1)))") $(value 2 result)
proxy log: $log
EOF2
