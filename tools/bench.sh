#!/usr/bin/env bash
# Benchmarks schema-modify under Wine against a throwaway Samba forest and
# prints each figure beside a baseline measured in the same run:
#   - start to details shown, against an empty dialog exe under the same Wine
#     and against the floor: the empty dialog making exactly the directory
#     calls of discovery through the same provider
#   - "&Setup" to the final display, against the same two schema adds made
#     directly with ldapmodify on an equally fresh forest
#   - start-up broken down (process start, provider load, the program's work
#     before its first directory call, connect, bind, each search, the rest
#     until shown),
#     from the probe's clock and the provider's log, and the pictures'
#     loading cost timed on its own; the floor's start cut the same way, with
#     the moments its own code marks (tools/bench/Marks.h)
#   - LDAP operations and binds of one full run (the provider's log), against
#     the fewest that discovery and extension need
#   - exe size, against the empty dialog exe
#   - peak working set, against the empty dialog exe
#   - with two DCs, the locator at DC2: start to details, and "&Setup" to the
#     final display both while DC1 holds the schema role (DC2 refuses) and
#     after the role moved to DC2; against the same baselines
#   - start to details and Setup to final with 50 ms and 150 ms of delay per
#     LDAP response (tools/ldap-proxy.py), against the loopback figures
# Nothing is asserted; times are medians of RUNS runs.
#   tools/bench.sh [BUILD_DIR] [RUNS]     (FOREST_IP, default 127.0.0.8;
#                                          FOREST_PAIR_IPS, default "127.0.0.9 127.0.0.10";
#                                          PROXY_IP, default 127.0.0.11)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/lib/session.sh"
build=${1:-$root/build-bench}
runs=${2:-5}
# Absolute from here on: the probe runs from another directory, and Wine
# takes the prefix and the programs' Z: paths only as absolute ones.
mkdir -p "$build"
build=$(cd "$build" && pwd)
ip=${FOREST_IP:-127.0.0.8}
# The LDAP proxy of the latency figures.
proxy_ip=${PROXY_IP:-127.0.0.11}
loopback_only "$ip" "$proxy_ip" || exit 2

say() { echo "bench: $*" >&2; }

say "building in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFOREST_IP="$ip" >/dev/null
cmake --build "$build" -j2 --target schema-modify activeds_provider bench-probe empty-dialog floor-dialog >/dev/null

work=$build/bench
open_work "$work" "$build/wineprefix"
trap 'close_work $?' EXIT
mkdir -p "$work/bin"
cp "$build/app/schema-modify.exe" "$build/tools/bench/empty-dialog.exe" "$build/tools/bench/floor-dialog.exe" \
   "$build/tools/bench/bench-probe.exe" "$work/bin/"
# tools/wine-run.sh installs the provider into the prefix's system32.
export ADSI_PROVIDER=$build/wine/activeds.dll
[ -f "$ADSI_PROVIDER" ] || { say "the provider activeds.dll was not built"; exit 1; }

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all

start_xvfb "$work"
# A wineserver left from a run on another display would open the windows there.
end_prefix "$WINEPREFIX"

forest_run=$work/forest
fresh() { fresh_forest "$build/bench-forest-template" "$forest_run" "$ip" >/dev/null; }

# key=value lines of the probe; "get FILE KEY" reads one, and a probe that
# did not print it ends the benchmark with what the probe did print.
get() {
  local value
  value=$(tr -d '\r' <"$1" | sed -n "s/^$2=//p" | head -n1)
  if [ -z "$value" ]; then
    say "no $2 from the probe ($1):"
    cat "$1" >&2
    exit 1
  fi
  echo "$value"
}
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
  [ -z "${STATS:-}" ] || stats=(WINEADSI_STATS="$(winpath "$STATS")" BENCH_MARKS="$(winpath "$STATS")")
  [ -z "${SERVER:-}" ] || stats+=(WINEADSI_SERVER="$SERVER")  # SERVER=HOST: another DC address
  if ! (cd "$work/bin" && env "${provider_env[@]}" "${stats[@]}" \
    "$root/tools/wine-run.sh" --prefix "$WINEPREFIX" "$work/bin/bench-probe.exe" "${args[@]}") >"$out"; then
    say "the probe failed on ${args[-1]}; it printed:"
    cat "$out" >&2
    return 1
  fi
}

# One start of schema-modify or of the floor cut into phases, from the
# probe's output ($1) and the log ($2) of the provider and the floor's marks,
# which share one clock: "label<TAB>ms" lines, each phase from the moment
# before it. The log is written as each operation ends, so it is put in order
# of the moments first. The provider is delay-loaded: it loads at the first
# directory call, inside WM_INITDIALOG.
phases() {
  tr -d '\r' <"$2" | awk '{ print substr($(NF - 1), 2) "\t" $0 }' | sort -n | cut -f2- |
  awk -F' ' -v start="$(get "$1" started_at_ms)" -v shown="$(get "$1" shown_at_ms)" '
    BEGIN {
      label["main_entered"] = "process start to wWinMain (Wine, the DLLs the exe imports, C runtime)"
      label["com_started"] = "wWinMain to COM started (CoInitialize)"
      label["common_controls_started"] = "COM to common controls started (InitCommonControlsEx)"
      label["dialog_created"] = "to WM_INITDIALOG (CreateDialogParam: the dialog, 1 button)"
      end = start
    }
    { at = substr($(NF - 1), 2); took = substr($NF, 2) }
    $1 == "mark" { if (!k && $2 in label) { printf "%s\t%.1f\n", label[$2], at - end; end = at; marked = 1 }; next }
    $1 == "load" {
      if (marked) printf "WM_INITDIALOG to provider loaded (activeds.dll, wldap32, secur32 and theirs)\t%.1f\n", at - end
      else printf "process start to provider loaded (Wine, the DLLs, the program up to its first directory call)\t%.1f\n", at - end
      end = at
      next
    }
    {
      if (!k) {
        printf "provider loaded to first directory call (ADsGetObject)\t%.1f\n", at - end
        printf "process start to first directory call (the phases above)\t%.1f\n", at - start
      }
      else between += at - end
      dn = ""; for (i = 3; i < NF - 1; i++) dn = dn (dn == "" ? "" : " ") $i
      if ($1 == "bind") dn = "(simple bind)"; else if ($1 == "connect") dn = "(ldap_init)"
      else if (dn == "") dn = "RootDSE"; else sub(/,.*/, "", dn)
      printf "%d. %s %s\t%.1f\n", ++k, $1, dn, took
      end = at + took
    }
    END {
      printf "the program between directory calls\t%.1f\n", between
      printf "last directory call to details shown\t%.1f\n", shown - end
      printf "total: start to details shown\t%.1f\n", shown - start
    }'
}

# The median of each label's values, labels in order of first appearance.
medians_by_label() {
  awk -F'\t' '!($1 in v) { order[++n] = $1 } { v[$1] = v[$1] " " $2 }
    END { for (i = 1; i <= n; i++) print order[i] "\t" v[order[i]] }' |
  while IFS=$'\t' read -r label values; do
    printf '  %-66s %s\n' "$label" "$(tr ' ' '\n' <<<"$values" | grep . | median)"
  done
}

# The median of one phase in a file of phases: phase LABEL FILE.
phase() { awk -F'\t' -v label="$1" 'index($1, label) == 1 { print $2 }' "$2" | median; }

# RUNS starts with the provider's log on, cut into phases, of the program and
# of the floor; and the pictures (two icons, the banner) loaded as the dialog
# loads them, timed in the probe.
startup_breakdown() {
  for i in $(seq "$runs"); do
    STATS="$work/start$i.log" probe "$work/st$i.txt" "$work/bin/schema-modify.exe"
    phases "$work/st$i.txt" "$work/start$i.log" >>"$work/phases.txt"
    STATS="$work/floor$i.log" probe "$work/ft$i.txt" "$work/bin/floor-dialog.exe"
    phases "$work/ft$i.txt" "$work/floor$i.log" >>"$work/floor-phases.txt"
    probe "$work/pic$i.txt" --pictures "$work/bin/schema-modify.exe"
    for key in icons_ms banner_ms; do
      printf '%s\t%s\n' "$key" "$(get "$work/pic$i.txt" $key)" >>"$work/pictures.txt"
    done
  done
}

# ---- Latency: full runs through the LDAP proxy, each response held back by
# a fixed delay, shown beside the loopback medians.
latency_runs() {  # latency_runs MS: RUNS full runs on fresh forests through the proxy
  local ms=$1 i
  mkdir -p "$work/proxy-$ms"
  for i in $(seq "$runs"); do
    fresh
    start_proxy "$work/proxy-$ms" "$proxy_ip" "$ip" --latency "$ms"
    SERVER=$proxy_ip probe "$work/lat$ms-$i.txt" --setup "$work/bin/schema-modify.exe"
    stop_proxy "$work/proxy-$ms"
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
  echo "requests per run through the proxy: $(grep -c ' req=' "$work/proxy-50/proxy.log")"
}

say "starting a fresh forest on $ip"
fresh

say "warming up Wine"
probe "$work/warm.txt" "$work/bin/empty-dialog.exe" || true
probe "$work/warm2.txt" "$work/bin/schema-modify.exe" || true

say "start-up: $runs runs each of the empty dialog, the floor and schema-modify"
for i in $(seq "$runs"); do
  probe "$work/b$i.txt" "$work/bin/empty-dialog.exe"
  get "$work/b$i.txt" start_to_shown_ms >>"$work/base-start.txt"
  probe "$work/f$i.txt" "$work/bin/floor-dialog.exe"
  get "$work/f$i.txt" start_to_shown_ms >>"$work/floor-start.txt"
  get "$work/b$i.txt" peak_working_set_kib >>"$work/base-mem.txt"
  probe "$work/p$i.txt" "$work/bin/schema-modify.exe"
  if [ "$(get "$work/p$i.txt" details_shown)" != 1 ]; then
    say "schema-modify did not show its details:"; cat "$work/p$i.txt" >&2; exit 1
  fi
  get "$work/p$i.txt" start_to_shown_ms >>"$work/prog-start.txt"
  get "$work/p$i.txt" peak_working_set_kib >>"$work/prog-mem.txt"
done

say "start-up broken down: $runs more runs with the provider's log"
startup_breakdown

say "Setup: $runs runs, each on a fresh forest, with the provider's log"
for i in $(seq "$runs"); do
  fresh
  STATS="$work/ops$i.log" probe "$work/s$i.txt" --setup "$work/bin/schema-modify.exe"
  get "$work/s$i.txt" setup_to_final_ms >>"$work/setup.txt"
  # A second run on the same forest finds both objects already there.
  probe "$work/r$i.txt" --setup "$work/bin/schema-modify.exe"
  get "$work/r$i.txt" setup_to_final_ms >>"$work/setup-again.txt"
done
result=$(tr -d '\r' <"$work/s1.txt" | sed -n 's/^result=//p' | tail -n1)
result_again=$(tr -d '\r' <"$work/r1.txt" | sed -n 's/^result=//p' | tail -n1)

say "baseline for Setup: the two adds with ldapmodify, $runs fresh forests"
# The shipped LDIF's adds alone: the program sends no schema cache update.
forest ldif "$root/tools/schema-additions.ldif" |
  awk -v RS= -v ORS='\n\n' '/changetype: add/' >"$work/adds.ldif"
for i in $(seq "$runs"); do
  fresh
  t0=$(date +%s%N)
  forest ldapmodify "$forest_run" <"$work/adds.ldif" >/dev/null
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 100000)) | awk '{ printf "%.1f\n", $1 / 10 }' >>"$work/ldap-add.txt"
done

for ms in 50 150; do
  say "latency: $runs runs through the proxy with $ms ms per response"
  latency_runs "$ms"
done
forest remove "$forest_run" >/dev/null

# Two DCs, the locator (WINEADSI_SERVER) at DC2: each figure's runs go to
# DC2/*.txt; the refused Setup changes nothing, so one copy serves all its runs.
bench_locator_dc2() {
  local ips=${FOREST_PAIR_IPS:-127.0.0.9 127.0.0.10} i
  local -a pair
  read -r -a pair <<<"$ips"
  local SERVER=${pair[1]}
  local template=$build/bench-forest-pair-template out=$work/dc2 run=$work/forest-pair
  mkdir -p "$out"
  say "two DCs (${pair[*]}), locator at DC2: $runs runs each"
  forest fresh-pair "$template" "$run" "${pair[@]}" >/dev/null
  for i in $(seq "$runs"); do
    probe "$out/d$i.txt" "$work/bin/schema-modify.exe"
    get "$out/d$i.txt" start_to_shown_ms >>"$out/start.txt"
    probe "$out/f$i.txt" --setup "$work/bin/schema-modify.exe"
    get "$out/f$i.txt" setup_to_final_ms >>"$out/refused.txt"
  done
  for i in $(seq "$runs"); do
    forest start-pair "$template" "$run" >/dev/null
    forest transfer-schema "$run" dc2 >/dev/null 2>&1
    probe "$out/m$i.txt" --setup "$work/bin/schema-modify.exe"
    get "$out/m$i.txt" setup_to_final_ms >>"$out/moved.txt"
  done
  forest remove "$run" >/dev/null
  dc2_start=$(median <"$out/start.txt")
  dc2_refused=$(median <"$out/refused.txt")
  dc2_moved=$(median <"$out/moved.txt")
  dc2_refused_result=$(tr -d '\r' <"$out/f1.txt" | sed -n 's/^result=//p' | tail -n1)
  dc2_moved_result=$(tr -d '\r' <"$out/m1.txt" | sed -n 's/^result=//p' | tail -n1)
}
bench_locator_dc2

# Operations of one full run (discovery, then Setup), from the provider's log:
# one line per bind and per LDAP request, the operation's name first.
log=$work/ops1.log
binds=$(grep -c '^bind ' "$log" || true)
ops=$(grep -cE '^(search|add|modify) ' "$log" || true)
# The fewest: discovery reads the RootDSE, finds the schema container with its
# role owner in one search and reads the server object (3); extension adds
# the attribute and the class (2). One bind serves all of it.
min_ops=5 min_binds=1

base_start=$(median <"$work/base-start.txt")
floor_start=$(median <"$work/floor-start.txt")
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
start to details shown vs floor (ms)    $(printf '%-15s %-15s %s' "$prog_start" "$floor_start" "$(ratio "$prog_start" "$floor_start")")   baseline: empty dialog + discovery's directory calls
Setup to final display (ms)             $(printf '%-15s %-15s %s' "$setup_ms" "$ldap_ms" "$(ratio "$setup_ms" "$ldap_ms")")   baseline: ldapmodify of the two objects
Setup again, objects exist (ms)         $(printf '%-15s %-15s %s' "$setup_again_ms" "$ldap_ms" "$(ratio "$setup_again_ms" "$ldap_ms")")
LDAP operations per run                 $(printf '%-15s %-15s %s' "$ops" "$min_ops" "$(ratio "$ops" "$min_ops")")   baseline: fewest needed
LDAP binds per run                      $(printf '%-15s %-15s %s' "$binds" "$min_binds" "$(ratio "$binds" "$min_binds")")
exe size (bytes)                        $(printf '%-15s %-15s %s' "$prog_size" "$base_size" "$(ratio "$prog_size" "$base_size")")   (stripped: $stripped_size)
peak working set (KiB)                  $(printf '%-15s %-15s %s' "$prog_mem" "$base_mem" "$(ratio "$prog_mem" "$base_mem")")

result of the first Setup:  $result
result of the second Setup: $result_again
operations of one run, by kind:
$(awk '$1 != "load" { n[$1]++ } END { for (k in n) printf "  %-10s %d\n", k, n[k] }' "$log" | sort)
start-up broken down (ms, medians of $runs runs with the provider's log on; empty dialog: $base_start):
$(medians_by_label <"$work/phases.txt")
the floor's start broken down (ms, medians of $runs runs, the same log and the floor's marks; floor: $floor_start):
$(medians_by_label <"$work/floor-phases.txt")
process start to first directory call: schema-modify $(phase "process start to first" "$work/phases.txt"), floor $(phase "process start to first" "$work/floor-phases.txt");
last directory call to details shown: schema-modify $(phase "last directory call" "$work/phases.txt"), floor $(phase "last directory call" "$work/floor-phases.txt");
  every phase of the floor is the platform's (Wine, its DLLs, COM, the dialog manager, the LDAP
  stack) or the directory's; the differences are the program's own work: its module and message
  loop, the dialog's 10 controls and their look, the icons and the banner (timed below) before
  the first call, and filling in the details after the last
pictures loaded as the dialog loads them, in the probe (ms, medians):
$(medians_by_label <"$work/pictures.txt")
raw figures: $work
EOF

cat <<EOF

two DCs, locator at DC2                 schema-modify   baseline        ratio
start to details shown (ms)             $(printf '%-15s %-15s %s' "$dc2_start" "$base_start" "$(ratio "$dc2_start" "$base_start")")   baseline: empty dialog exe
Setup to final, role on DC1 (ms)        $(printf '%-15s %-15s %s' "$dc2_refused" "$ldap_ms" "$(ratio "$dc2_refused" "$ldap_ms")")   result: $dc2_refused_result
Setup to final, role on DC2 (ms)        $(printf '%-15s %-15s %s' "$dc2_moved" "$ldap_ms" "$(ratio "$dc2_moved" "$ldap_ms")")   result: $dc2_moved_result
raw figures: $work/dc2
EOF
latency_report
