#!/usr/bin/env bash
# Checks that the rig's clean-up ends what it should and never reports
# success while something survives: daemons of a run stopped from outside
# (tools/isolated.sh), and what a pid record names (tools/lib/session.sh).
#   cleanup.sh SCRATCH_DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/lib/session.sh"
dir=$1
rm -rf "$dir"
mkdir -p "$dir"
failed=0
check() {  # check NAME COMMAND...: one row
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}
alive() { for pid in "$@"; do [ -z "$(running_since "$pid")" ] || return 0; done; return 1; }
gone() { for _ in $(seq 100); do pgrep -f "^$1" >/dev/null || return 0; sleep 0.05; done; return 1; }

# A run stopped as a user, ctest or timeout stops it, with a daemon in a
# session of its own that no signal to the run's group reaches: stopped_run
# SIGNAL group|process.
stopped_run() {
  local daemon="sleep 300.$$$RANDOM" run
  # Job control: the run leads a process group of its own, and SIGINT is
  # not ignored in it, as in a terminal.
  set -m
  env -u SCHEMA_MODIFY_ISOLATED "$root/tools/isolated.sh" bash -c "setsid $daemon & sleep 300" &
  run=$!
  set +m
  for _ in $(seq 100); do pgrep -f "^$daemon" >/dev/null && break; sleep 0.05; done
  pgrep -f "^$daemon" >/dev/null || return 1
  if [ "$2" = group ]; then kill "-$1" -- "-$run"; else kill "-$1" "$run"; fi
  local ended=1
  for _ in $(seq 100); do [ -n "$(running_since "$run")" ] || { ended=0; break; }; sleep 0.1; done
  [ $ended = 0 ] || kill -KILL -- "-$run"
  { wait "$run"; } 2>/dev/null || true
  gone "$daemon" && [ $ended = 0 ] || { pkill -KILL -f "^$daemon"; return 1; }
}
if unshare -n -p -f --kill-child --mount-proc true 2>/dev/null; then
  for stop in "TERM group" "INT group" "KILL group" "TERM process" "KILL process"; do
    check "SIG${stop% *} to tools/isolated.sh's ${stop#* } ends the run's daemon" stopped_run $stop
  done
else
  echo "skipped: a stopped run's daemons (unshare is refused here)"
fi

# A daemon (the leader of a process group) with two children, recorded.
daemon() {
  setsid bash -c 'sleep 300 & sleep 300 & trap "kill \$(jobs -p); echo >\$0.term; exit" TERM
    echo >$0.up; wait' "$dir/$1" &
  disown
  until [ -f "$dir/$1.up" ]; do sleep 0.05; done
  record_pid $! "$dir/$1.pid"
  mapfile -t group < <(pgrep -g "$(awk '{ print $3 }' "$dir/$1.pid")")
}

leader_died() {
  local -a group
  daemon orphans
  kill -KILL "$(recorded_pid "$dir/orphans.pid")"
  end_recorded "$dir/orphans.pid" && [ ! -f "$dir/orphans.pid" ] && ! alive "${group[@]}"
}
check "the group of a leader that died ends with its record" leader_died

paused_ends_on_term() {
  local -a group
  daemon paused
  kill -STOP "$(recorded_pid "$dir/paused.pid")"
  end_recorded "$dir/paused.pid" 5 && [ -f "$dir/paused.term" ] && ! alive "${group[@]}"
}
check "a stopped daemon ends on SIGTERM within its grace" paused_ends_on_term

reused_pid_spared() {
  sleep 300 &
  local other=$!
  echo "$other 1" >"$dir/reused.pid"
  end_recorded "$dir/reused.pid" && alive "$other" && kill "$other"
}
check "a pid that another process reuses is not signalled" reused_pid_spared

# kill cannot end the recorded daemon here: nothing of it may count as gone.
survivor_kept() {
  local -a group
  mkdir -p "$dir/work"
  daemon work/survivor
  kill() { :; }
  if remove_work "$dir/work"; then unset -f kill; return 1; fi
  unset -f kill
  [ -f "$dir/work/survivor.pid" ] && end_recorded "$dir/work/survivor.pid"
}
check "a work directory whose daemon survives SIGKILL is kept, and so is its record" survivor_kept

prefix_ends() {
  mkdir -p "$dir/prefix"
  WINEPREFIX=$dir/prefix /usr/lib/wine/wineserver -p
  [ -n "$(prefix_processes "$dir/prefix")" ] && end_prefix "$dir/prefix" && [ -z "$(prefix_processes "$dir/prefix")" ]
}
check "a Wine prefix's server ends with end_prefix" prefix_ends

exit $failed
