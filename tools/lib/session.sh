# Pid records that name one process for good, for scripts that source this
# file: a record is one line "PID START", START being when the process
# started, so a pid that was reused by some unrelated process after ours
# ended is never signalled.
#   record_pid PID FILE    writes the record
#   recorded_pid FILE      the pid when that very process still lives; empty otherwise
#   process_tree PID       the process and every process below it
#   any_running PID...     whether any of them has not ended yet
#   kill_recorded FILE     SIGKILL to that process and all below it, and their end
#   remove_work DIR        DIR removed once nothing that it records or hosts runs

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

# SIGKILL to the process that a record names and to every process below it;
# returns once all have ended, and fails, naming them, when some have not
# within 10 s. A process that leads its process group (a daemon does) takes
# the group with it: a child forked as the tree was read is not in the tree.
kill_recorded() {
  local pid group=""
  pid=$(recorded_pid "$1")
  [ -n "$pid" ] || return 0
  local -a tree
  mapfile -t tree < <(process_tree "$pid")
  [ "$(ps -o pgid= -p "$pid" | tr -d ' ')" != "$pid" ] || group=$pid
  kill -KILL "${tree[@]}" 2>/dev/null || true
  [ -z "$group" ] || kill -KILL -- "-$group" 2>/dev/null || true
  local -a members=()
  for _ in $(seq 200); do
    mapfile -t members < <(group_members "$group")
    any_running "${tree[@]}" "${members[@]}" || return 0
    [ ${#members[@]} -eq 0 ] || kill -KILL "${members[@]}" 2>/dev/null || true
    sleep 0.05
  done
  echo "still running after SIGKILL: $(ps -o pid=,args= -p "$(IFS=,; echo "${tree[*]} ${members[*]}")" |
    tr '\n' ';')" >&2
  return 1
}

group_members() {
  [ -z "$1" ] || ps -e -o pid=,pgid= | awk -v group="$1" '$2 == group { print $1 }'
}

# What an earlier run left under DIR, ended: every process that a pid record
# there names (with what runs below it; a killed run's daemons outlive it)
# and every process of each Wine prefix there, with its wineserver. Fails
# when something survives.
end_leftovers() {
  local dir=$1 record prefix status=0
  [ -d "$dir" ] || return 0
  while IFS= read -r -d '' record; do
    kill_recorded "$record" || status=1
  done < <(find "$dir" -name '*.pid' -type f -print0)
  while IFS= read -r -d '' prefix; do
    end_prefix "$(dirname "$prefix")"
  done < <(find "$dir" -name system.reg -type f -print0)
  return $status
}

# Ends the wineserver of a Wine prefix and, with it, every process of the
# prefix; returns once the server has gone.
end_prefix() {
  WINEPREFIX=$1 /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX=$1 /usr/lib/wine/wineserver -w 2>/dev/null || true
}

# A work directory removed, never with anything of it still running.
remove_work() {
  end_leftovers "$1"
  rm -rf "$1"
}
