#!/usr/bin/env bash
# Benchmarks schema-modify under Wine against a throwaway Samba forest and
# prints each figure beside a baseline measured in the same run:
#   - start to details shown, against an empty dialog exe under the same Wine
#   - "&Setup" to the final display, against the same two schema adds made
#     directly with ldapmodify on an equally fresh forest
#   - LDAP operations and binds of one full run (the provider's log), against
#     the fewest that discovery and extension need
#   - exe size, against the empty dialog exe
#   - peak working set, against the empty dialog exe
#   - start to details and Setup to final with 50 ms and 150 ms of delay per
#     LDAP response (tools/ldap-proxy.py), against the loopback figures
# Nothing is asserted; times are medians of RUNS runs.
#   tools/bench.sh [BUILD_DIR] [RUNS]     (FOREST_IP, default 127.0.0.8;
#                                          PROXY_IP, default 127.0.0.9)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${2:-5}
ip=${FOREST_IP:-127.0.0.8}
case $ip in
  127.*) ;;
  *) echo "bench: FOREST_IP must be a loopback address (127.0.0.0/8)" >&2; exit 2 ;;
esac

say() { echo "bench: $*" >&2; }
. "$root/tools/xvfb.sh"

say "building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFOREST_IP="$ip" >/dev/null
cmake --build "$build" -j2 --target schema-modify activeds_provider bench-probe empty-dialog >/dev/null

work=$build/bench
rm -rf "$work"
mkdir -p "$work/bin"
cp "$build/app/schema-modify.exe" "$build/tools/bench/empty-dialog.exe" \
   "$build/tools/bench/bench-probe.exe" "$work/bin/"
provider=$(find "$build/wine" -maxdepth 2 -name activeds.dll | head -n1)
[ -n "$provider" ] || { say "the provider activeds.dll was not built"; exit 1; }
cp "$provider" "$work/bin/"

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all

forest_run=""
# The LDAP proxy of the latency figures, stopped by its pid.
proxy_ip=${PROXY_IP:-127.0.0.9}
proxy_pid=""
proxy_stop() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; fi
  proxy_pid=""
}
cleanup() {
  proxy_stop
  if [ -n "$forest_run" ]; then "$root/tools/forest.sh" remove "$forest_run" >/dev/null 2>&1 || true; fi
  stop_xvfb
}
trap cleanup EXIT

start_xvfb "$work"
# A wineserver left from a run on another display would open the windows there.
/usr/lib/wine/wineserver -k 2>/dev/null || true

template=$build/bench-forest-template
forest_run=$work/forest
fresh_forest() {
  "$root/tools/forest.sh" remove "$forest_run" >/dev/null 2>&1 || true
  "$root/tools/forest.sh" fresh "$template" "$forest_run" "$ip" >/dev/null
}

# key=value lines of the probe; "get FILE KEY" reads one.
get() { tr -d '\r' <"$1" | sed -n "s/^$2=//p" | head -n1; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0 && a != "n/a") printf "%.2f", a / b; else print "n/a" }'; }

provider_env=(WINEDLLOVERRIDES=activeds=n WINEADSI_SERVER="$ip"
  WINEADSI_USER=Administrator@samdom.test WINEADSI_PASSWORD=Passw0rd-Admin1)
# Windows programs see the Unix tree under drive Z:.
winpath() { echo "Z:$1"; }
probe() {  # probe OUT [--setup] EXE; STATS=FILE in the environment logs operations
  local out=$1; shift
  local args=("$@")
  args[-1]=$(winpath "${args[-1]}")
  local stats=()
  [ -z "${STATS:-}" ] || stats=(WINEADSI_STATS="$(winpath "$STATS")")
  [ -z "${SERVER:-}" ] || stats+=(WINEADSI_SERVER="$SERVER")  # SERVER=HOST: another DC address
  (cd "$work/bin" && env "${provider_env[@]}" "${stats[@]}" \
    "$root/tools/wine-run.sh" --prefix "$WINEPREFIX" "$work/bin/bench-probe.exe" "${args[@]}") >"$out"
}

# ---- Latency: full runs through the LDAP proxy, each response held back by
# a fixed delay, shown beside the loopback medians.
latency_runs() {  # latency_runs MS: RUNS full runs on fresh forests through the proxy
  local ms=$1 i log=$work/proxy-$1.log
  : >"$work/lat$ms-start.txt"; : >"$work/lat$ms-setup.txt"
  for i in $(seq "$runs"); do
    fresh_forest
    : >"$log"
    python3 "$root/tools/ldap-proxy.py" --listen "$proxy_ip" --target "$ip" --latency "$ms" --log "$log" \
      >>"$log.out" 2>&1 &
    proxy_pid=$!
    until grep -q ' listening on ' "$log"; do
      kill -0 "$proxy_pid" 2>/dev/null || { say "the proxy did not start:"; cat "$log.out" >&2; exit 1; }
      sleep 0.05
    done
    SERVER=$proxy_ip probe "$work/lat$ms-$i.txt" --setup "$work/bin/schema-modify.exe"
    proxy_stop
    get "$work/lat$ms-$i.txt" start_to_shown_ms >>"$work/lat$ms-start.txt"
    get "$work/lat$ms-$i.txt" setup_to_final_ms >>"$work/lat$ms-setup.txt"
  done
}
latency_report() {  # after the loopback medians prog_start and setup_ms
  local ms start setup
  echo
  echo "through the LDAP proxy, delay per response   median (ms)     loopback (ms)   ratio"
  for ms in 50 150; do
    start=$(median <"$work/lat$ms-start.txt")
    setup=$(median <"$work/lat$ms-setup.txt")
    printf '%-45s %-15s %-15s %s\n' "start to details shown, $ms ms" "$start" "$prog_start" "$(ratio "$start" "$prog_start")"
    printf '%-45s %-15s %-15s %s\n' "Setup to final display, $ms ms" "$setup" "$setup_ms" "$(ratio "$setup" "$setup_ms")"
  done
  echo "requests per run through the proxy: $(grep -c ' req=' "$work/proxy-50.log")"
}

say "starting a fresh forest on $ip"
fresh_forest

say "warming up Wine"
probe "$work/warm.txt" "$work/bin/empty-dialog.exe" || true
probe "$work/warm2.txt" "$work/bin/schema-modify.exe" || true

say "start-up: $runs runs each of the empty dialog and schema-modify"
: >"$work/base-start.txt"; : >"$work/prog-start.txt"; : >"$work/base-mem.txt"; : >"$work/prog-mem.txt"
for i in $(seq "$runs"); do
  probe "$work/b$i.txt" "$work/bin/empty-dialog.exe"
  get "$work/b$i.txt" start_to_shown_ms >>"$work/base-start.txt"
  get "$work/b$i.txt" peak_working_set_kib >>"$work/base-mem.txt"
  probe "$work/p$i.txt" "$work/bin/schema-modify.exe"
  if [ "$(get "$work/p$i.txt" details_shown)" != 1 ]; then
    say "schema-modify did not show its details:"; cat "$work/p$i.txt" >&2; exit 1
  fi
  get "$work/p$i.txt" start_to_shown_ms >>"$work/prog-start.txt"
  get "$work/p$i.txt" peak_working_set_kib >>"$work/prog-mem.txt"
done

say "Setup: $runs runs, each on a fresh forest, with the provider's log"
: >"$work/setup.txt"; : >"$work/setup-again.txt"
for i in $(seq "$runs"); do
  fresh_forest
  STATS="$work/ops$i.log" probe "$work/s$i.txt" --setup "$work/bin/schema-modify.exe"
  get "$work/s$i.txt" setup_to_final_ms >>"$work/setup.txt"
  # A second run on the same forest finds both objects already there.
  probe "$work/r$i.txt" --setup "$work/bin/schema-modify.exe"
  get "$work/r$i.txt" setup_to_final_ms >>"$work/setup-again.txt"
done
result=$(tr -d '\r' <"$work/s1.txt" | sed -n 's/^result=//p' | tail -n1)
result_again=$(tr -d '\r' <"$work/r1.txt" | sed -n 's/^result=//p' | tail -n1)

say "baseline for Setup: the two adds with ldapmodify, $runs fresh forests"
: >"$work/ldap-add.txt"
for i in $(seq "$runs"); do
  fresh_forest
  t0=$(date +%s%N)
  "$root/tools/forest.sh" ldapmodify "$forest_run" <"$root/tools/schema-additions.ldif" >/dev/null
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 100000)) | awk '{ printf "%.1f\n", $1 / 10 }' >>"$work/ldap-add.txt"
done

for ms in 50 150; do
  say "latency: $runs runs through the proxy with $ms ms per response"
  latency_runs "$ms"
done
"$root/tools/forest.sh" remove "$forest_run" >/dev/null 2>&1 || true
forest_run=""

# Operations of one full run (discovery, then Setup), from the provider's log:
# one line per bind and per LDAP request, the operation's name first.
log=$work/ops1.log
binds=$(grep -c '^bind ' "$log" || true)
ops=$(grep -vc '^bind ' "$log" || true)
# The fewest: discovery reads the RootDSE, finds the schema container with its
# role owner in one search and reads the server object (3); extension adds
# the attribute and the class (2). One bind serves all of it.
min_ops=5 min_binds=1

base_start=$(median <"$work/base-start.txt")
prog_start=$(median <"$work/prog-start.txt")
setup_ms=$(median <"$work/setup.txt")
setup_again_ms=$(median <"$work/setup-again.txt")
ldap_ms=$(median <"$work/ldap-add.txt")
base_mem=$(median <"$work/base-mem.txt")
prog_mem=$(median <"$work/prog-mem.txt")
prog_size=$(stat -c %s "$work/bin/schema-modify.exe")
base_size=$(stat -c %s "$work/bin/empty-dialog.exe")
x86_64-w64-mingw32-strip -o "$work/stripped.exe" "$work/bin/schema-modify.exe"
stripped_size=$(stat -c %s "$work/stripped.exe")

cat <<EOF
schema-modify benchmarks ($(date -u +%Y-%m-%dT%H:%MZ), Wine $(/usr/lib/wine/wine64 --version 2>/dev/null | sed 's/^wine-//'), forest on $ip, $runs runs, medians)

figure                                  schema-modify   baseline        ratio
start to details shown (ms)             $(printf '%-15s %-15s %s' "$prog_start" "$base_start" "$(ratio "$prog_start" "$base_start")")   baseline: empty dialog exe
Setup to final display (ms)             $(printf '%-15s %-15s %s' "$setup_ms" "$ldap_ms" "$(ratio "$setup_ms" "$ldap_ms")")   baseline: ldapmodify of the two objects
Setup again, objects exist (ms)         $(printf '%-15s %-15s %s' "$setup_again_ms" "$ldap_ms" "$(ratio "$setup_again_ms" "$ldap_ms")")
LDAP operations per run                 $(printf '%-15s %-15s %s' "$ops" "$min_ops" "$(ratio "$ops" "$min_ops")")   baseline: fewest needed
LDAP binds per run                      $(printf '%-15s %-15s %s' "$binds" "$min_binds" "$(ratio "$binds" "$min_binds")")
exe size (bytes)                        $(printf '%-15s %-15s %s' "$prog_size" "$base_size" "$(ratio "$prog_size" "$base_size")")   (stripped: $stripped_size)
peak working set (KiB)                  $(printf '%-15s %-15s %s' "$prog_mem" "$base_mem" "$(ratio "$prog_mem" "$base_mem")")

result of the first Setup:  $result
result of the second Setup: $result_again
operations of one run, by kind:
$(awk '{ n[$1]++ } END { for (k in n) printf "  %-10s %d\n", k, n[k] }' "$log" | sort)
raw figures: $work
EOF
latency_report
