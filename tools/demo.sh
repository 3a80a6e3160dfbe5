#!/usr/bin/env bash
# Runs schema-modify.exe's main job against a throwaway Samba AD forest:
# installs what is missing, builds, starts a fresh forest on 127.0.0.2 and
# runs the exe under Wine with the project's ADSI provider. With an X display
# the dialog opens there for you; without one it runs under Xvfb, presses
# "&Setup" itself and saves screenshots. Either way it then prints what the
# schema holds, read from the directory itself, and stops what it started.
# Everything after the install runs in a private network namespace with only
# loopback up (tools/isolated.sh).
set -euo pipefail

usage() {
  cat <<EOF
usage: tools/demo.sh [--keep-forest] [--headless] [--build DIR]

  --keep-forest  leave the forest running afterwards (tools/forest.sh remove
                 stops it); a later run starts a fresh one all the same
  --headless     use a private Xvfb display even when DISPLAY is set
  --build DIR    build tree to use (default: build-demo/ in the checkout)

Settings: FOREST_IP (default 127.0.0.2, must be in 127.0.0.0/8).
EOF
}

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/lib/session.sh"
arguments=("$@")
build=$root/build-demo
keep=0 headless=0
while [ $# -gt 0 ]; do
  case $1 in
    --keep-forest) keep=1; shift ;;
    --headless) headless=1; shift ;;
    --build) [ $# -ge 2 ] || { usage >&2; exit 2; }; build=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo: unknown option '$1'" >&2; usage >&2; exit 2 ;;
  esac
done
ip=${FOREST_IP:-127.0.0.2}
loopback_only "$ip" || exit 2
[ -z "${DISPLAY:-}" ] && headless=1

step() { echo "demo: $*"; }
fail() { echo "demo: FAILED: $*" >&2; exit 1; }

if [ -z "${SCHEMA_MODIFY_ISOLATED:-}" ]; then
  step "installing missing packages (tools/install-deps.sh)"
  "$root/tools/install-deps.sh" || fail "the packages could not be installed; see apt-get's messages above"
  # A PID namespace of its own would end a kept forest with the demo.
  [ "$keep" = 0 ] || export SCHEMA_MODIFY_KEEP_RUNNING=1
  exec "$root/tools/isolated.sh" "$0" "${arguments[@]}"
fi

# Absolute: the exe runs from another directory, and Wine takes the prefix
# only as an absolute path.
mkdir -p "$build"
build=$(cd "$build" && pwd)
step "building into $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFOREST_IP="$ip" >"$build.configure.log" 2>&1 ||
  fail "cmake could not configure the build; see $build.configure.log"
cmake --build "$build" -j"$(nproc)" --target schema-modify activeds_provider bench-probe \
  >"$build.build.log" 2>&1 || fail "the build failed; see $build.build.log"
rm -f "$build.configure.log" "$build.build.log"

work=$build/demo
shots=$work/screenshots
# Beside the work directory, which ends with the demo: a kept forest outlives it.
forest_run=$build/demo-forest
open_work "$work" "$build/wineprefix"
mkdir -p "$work/bin" "$shots"
cp "$build/app/schema-modify.exe" "$build/tools/bench/bench-probe.exe" "$work/bin/"
# tools/wine-run.sh installs the provider into the prefix's system32.
export ADSI_PROVIDER=$build/wine/activeds.dll
[ -f "$ADSI_PROVIDER" ] || fail "the provider activeds.dll was not built"
# The provider, not the program, reads these: Wine has no logged-on domain user.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=activeds=n
export WINEADSI_SERVER=$ip WINEADSI_USER=Administrator@samdom.test WINEADSI_PASSWORD=Passw0rd-Admin1
wine=$root/tools/wine-run.sh

cleanup() {
  local status=$1 pid
  pid=$(recorded_pid "$forest_run/forest.pid")
  if [ "$keep" = 1 ] && [ -n "$pid" ]; then
    step "the forest keeps running on $ip in the demo's network namespace (nsenter --net=/proc/$pid/ns/net);" \
      "stop it with: tools/forest.sh remove $forest_run"
  elif [ -d "$forest_run" ]; then
    if forest remove "$forest_run" >/dev/null; then step "forest stopped and removed"; else status=1; fi
  fi
  close_work "$status"
}
trap 'cleanup $?' EXIT

step "starting a fresh forest on $ip (the first time provisions it: about 20 s)"
fresh_forest "$build/forest-template" "$forest_run" "$ip" >"$work/forest.log" 2>&1 ||
  fail "the forest did not start; see $work/forest.log"

if [ "$headless" = 0 ]; then
  step "opening schema-modify on $DISPLAY: check the details, press \"&Setup\", then \"&Exit\""
  status=0
  (cd "$work/bin" && "$wine" --prefix "$WINEPREFIX" ./schema-modify.exe) || status=$?
  step "schema-modify exited with code $status"
else
  start_xvfb "$work" || fail "no private X display"
  # A wineserver started for another display would open the dialog there.
  end_prefix "$WINEPREFIX"
  step "no display of yours: running under Xvfb on $DISPLAY and pressing \"&Setup\" itself"
  status=0
  (cd "$work/bin" && "$wine" --prefix "$WINEPREFIX" ./bench-probe.exe --setup --hold 1500 schema-modify.exe) |
    while IFS= read -r line; do
      line=${line%$'\r'}
      case $line in
        phase=*)
          phase=${line#phase=}
          xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$shots/$phase.png" &&
            step "screenshot: $shots/$phase.png" ;;
        details=*) step "details shown: ${line#details=}" ;;
        result=*) step "result shown: ${line#result=}" ;;
        exit_code=*) step "schema-modify exited with code ${line#exit_code=}" ;;
      esac
    done || status=$?
  [ "$status" = 0 ] || fail "the run did not reach its final display (driver status $status)"
fi

step "what the schema holds now (read with ldbsearch from the forest's own database):"
schema=CN=Schema,CN=Configuration,DC=samdom,DC=test
for name in WexlorAdmin WexlorEnterpriseUser; do
  entry=$(forest search "$forest_run" -b "$schema" -s one "(cn=$name)" \
            dn objectClass lDAPDisplayName attributeID governsID attributeSyntax oMSyntax \
            isSingleValued searchFlags objectClassCategory subClassOf mayContain 2>/dev/null |
          grep -v '^#' | sed '/^$/d' || true)
  if [ -n "$entry" ]; then printf '%s\n\n' "$entry"; else echo "  (no $name in the schema)"; fi
done
step "run again with: tools/demo.sh   (a fresh forest each time; --help for options)"
