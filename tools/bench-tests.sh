#!/usr/bin/env bash
# Wall time of the test command, before and after: clones two commits of
# this repository (BASE, default 40bbed7, and the committed HEAD), runs each
# one's tools/test.sh into a build tree of its own (configure, build, every
# test; the install is skipped), then each ctest label alone in each tree,
# the two trees one after the other for each figure, and prints every
# figure beside its baseline with the ratio. Nothing is asserted.
#   tools/isolated.sh tools/bench-tests.sh [WORK_DIR] [BASE] [LABELS...]
# (default WORK_DIR build-bench-tests; LABELS default: every label of
# either tree). The two trees use the same loopback addresses, so nothing
# else may run tests meanwhile.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-bench-tests}
base=${2:-40bbed7}
shift $(($# < 2 ? $# : 2))
mkdir -p "$work"
work=$(cd "$work" && pwd)

say() { echo "bench-tests: $*" >&2; }
if [ -z "${SCHEMA_MODIFY_ISOLATED:-}" ]; then
  say "run it inside the private network namespace: tools/isolated.sh $0 ..."
  exit 2
fi

. "$root/tools/lib/session.sh"
clone() {  # clone DIR REV
  remove_work "$1"
  git clone -q "$root" "$1"
  git -C "$1" checkout -q --detach "$2"
  say "$(basename "$1"): $(git -C "$1" log -1 --format='%h %s')"
}
clone "$work/before" "$base"
after=$(git -C "$root" rev-parse --short HEAD)
clone "$work/after" "$after"
[ -z "$(git -C "$root" status --porcelain)" ] || say "uncommitted changes in $root are left out"

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 == b) printf "%.2f", b / a; else print "n/a" }'; }
figures=$work/figures
: >"$figures"

# The whole command after the install, and the ctest part of it.
for tree in before after; do
  say "$tree: tools/test.sh (configure, build, ctest)"
  remove_work "$work/$tree/build"
  t0=$(date +%s%N)
  status=0
  "$work/$tree/tools/test.sh" "$work/$tree/build" >"$work/$tree.test.log" 2>&1 || status=$?
  t1=$(date +%s%N)
  printf 'whole command\t%s\t%s\t%s\n' "$tree" "$(seconds "$t0" "$t1")" "$status" >>"$figures"
  ctest_s=$(sed -n 's/^Total Test time (real) = *\([0-9.]*\) sec.*/\1/p' "$work/$tree.test.log" | tail -n1)
  printf 'ctest\t%s\t%.0f\t%s\n' "$tree" "${ctest_s:-0}" "$status" >>"$figures"
done

# Each label alone, run as that tree's test command runs ctest (in parallel
# where its tools/test.sh says so).
labels=("$@")
if [ ${#labels[@]} -eq 0 ]; then
  mapfile -t labels < <(for tree in before after; do
    (cd "$work/$tree/build" && ctest --print-labels | sed -n 's/^  *//p')
  done | sort -u)
fi
for label in "${labels[@]}"; do
  for tree in before after; do
    jobs=1
    ! grep -q 'ctest .*-j' "$work/$tree/tools/test.sh" || jobs=$(nproc)
    if ! (cd "$work/$tree/build" && ctest --print-labels | grep -qx "  $label"); then
      printf '%s\t%s\tn/a\t-\n' "$label" "$tree" >>"$figures"
      continue
    fi
    say "$tree: ctest -L $label -j$jobs"
    t0=$(date +%s%N)
    status=0
    (cd "$work/$tree/build" && ctest -L "^$label\$" -j"$jobs" --timeout 1800 --output-on-failure) \
      >"$work/$tree.$label.log" 2>&1 || status=$?
    t1=$(date +%s%N)
    printf '%s\t%s\t%s\t%s\n' "$label" "$tree" "$(seconds "$t0" "$t1")" "$status" >>"$figures"
  done
done
# The prefixes' wineservers linger for a minute after the last test.
ended=0
end_leftovers "$work" || ended=1

echo "test command wall times ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores; before: $base, after: $after)"
echo
printf '%-16s %-12s %-12s %-7s %s\n' "figure (s)" "before" "after" "ratio" "exit status before/after (- no such label)"
awk -F'\t' '!($1 in seen) { seen[$1] = 1; order[++n] = $1 } { v[$1, $2] = $3; s[$1, $2] = $4 }
  END { for (i = 1; i <= n; i++) print order[i] "\t" v[order[i], "before"] "\t" v[order[i], "after"] "\t" s[order[i], "before"] "/" s[order[i], "after"] }' \
  "$figures" | while IFS=$'\t' read -r name before after statuses; do
  printf '%-16s %-12s %-12s %-7s %s\n' "$name" "${before:-n/a}" "${after:-n/a}" "$(ratio "${before:-0}" "$after")" "$statuses"
done
echo
echo "logs: $work/{before,after}.*.log"
exit $ended
