# Pid records that name one process for good, for scripts that source this
# file: a record is one line "PID START", START being when the process
# started, so a pid that was reused by some unrelated process after ours
# ended is never signalled.
#   record_pid PID FILE    writes the record
#   recorded_pid FILE      the pid when that very process still lives; empty otherwise
#   process_tree PID       the process and every process below it
#   any_running PID...     whether any of them has not ended yet

# Field 22 of /proc/PID/stat: when the process started, in clock ticks since
# boot; empty once it has ended, even while it waits to be reaped (field 3,
# state Z). A daemon's or an orphan's parent is init, which may take a second
# or more to reap it, and an ended process holds no socket, port or file.
running_since() {
  sed -e 's/^.*) //' "/proc/$1/stat" 2>/dev/null | awk '$1 != "Z" {print $20}'
}

record_pid() {
  echo "$1 $(running_since "$1")" >"$2"
}

recorded_pid() {
  local pid started
  [ -f "$1" ] || return 0
  read -r pid started <"$1" || true
  [ -n "$pid" ] && [ -n "$started" ] || return 0
  if [ "$(running_since "$pid")" = "$started" ]; then
    echo "$pid"
  fi
}

# Found through the parent links, not by name: samba, for one, rewrites its
# processes' names.
process_tree() {
  ps -e -o pid=,ppid= | awk -v root="$1" '
    { parent[$1] = $2 }
    END {
      for (p in parent) {
        q = p
        while (q != "" && q != root && q > 1) q = parent[q]
        if (q == root) print p
      }
    }'
}

any_running() {
  local pid
  for pid in "$@"; do
    [ -z "$(running_since "$pid")" ] || return 0
  done
  return 1
}
