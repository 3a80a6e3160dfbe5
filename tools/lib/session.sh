# The session library that the rig's scripts source: pid records that name
# one process for good, the clean-up that ends what they name (and a Wine
# prefix's processes) and fails while any of it survives, work directories,
# a private Xvfb display, the LDAP proxy and a fresh forest.
#
# A record is one line "PID START [GROUP]": START is when the process
# started, so a pid that an unrelated process reused after ours ended is
# never signalled; GROUP, when the process led its process group (a daemon
# does), so that its end takes the group along, even after the leader died.
#   record_pid PID FILE          writes the record
#   recorded_pid FILE            the pid while that very process runs; empty otherwise
#   process_tree PID             the process and every process below it
#   end_recorded FILE [GRACE]    ends it, all below it and its group (SIGTERM and up
#                                to GRACE s first, then SIGKILL) and removes FILE; fails,
#                                naming them and keeping FILE, when some survive
#   end_prefix PREFIX            every process of a Wine prefix ended, its server too
#   end_leftovers DIR [GRACE]    all that the records under DIR name and the Wine
#                                prefixes there ended
#   remove_work DIR              DIR removed, never while something of it runs
#   open_work DIR [PREFIX] / close_work STATUS
#                                a script's work directory made anew, and all of it
#                                and the Wine prefix PREFIX ended at the script's
#                                exit: trap 'close_work $?' EXIT
#   start_xvfb DIR               a private display (DIR/xvfb.pid); exports DISPLAY
#   start_proxy DIR LISTEN TARGET [OPTIONS...] / stop_proxy DIR
#                                the LDAP proxy, log DIR/proxy.log, record DIR/proxy.pid
#   forest ARGS...               tools/forest.sh
#   fresh_forest TEMPLATE RUN IP a fresh copy; the copy before is killed
#   loopback_only ADDRESS...     fails, saying so, unless each is in 127.0.0.0/8

session_tools=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Field 22 of /proc/PID/stat: when the process started, in clock ticks since
# boot; empty once it has ended, even while it waits to be reaped (field 3,
# state Z). A daemon's or an orphan's parent is init, which may take a second
# or more to reap it, and an ended process holds no socket, port or file.
running_since() {
  local stat
  { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 0
  read -r -a stat <<<"${stat##*) }"
  [ "${stat[0]}" = Z ] || echo "${stat[19]}"
}

record_pid() {
  local group
  group=$(ps -o pgid= -p "$1" | tr -d ' ' || true)
  [ "$group" = "$1" ] || group=""
  echo "$1 $(running_since "$1") $group" >"$2"
}

recorded_pid() {
  local pid started
  [ -f "$1" ] || return 0
  read -r pid started _ <"$1" || true
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

described() { [ $# -eq 0 ] || ps -o pid=,args= -p "$(IFS=,; echo "$*")" | sed 's/^ */  /'; }

# What still runs of a record: SINCE GROUP PID:START... prints the pids of
# those PID:START that run with that start, and of the group's members that
# started no earlier than its leader. A group's id is not given to a new
# process while the group has members.
still_running() {
  local since=$1 group=$2 word pid started
  shift 2
  for word in "$@"; do
    [ "$(running_since "${word%:*}")" != "${word#*:}" ] || echo "${word%:*}"
  done
  [ -n "$group" ] || return 0
  for pid in $(ps -e -o pid=,pgid= | awk -v group="$group" '$2 == group { print $1 }'); do
    started=$(running_since "$pid")
    if [ -n "$started" ] && [ "$started" -ge "$since" ]; then echo "$pid"; fi
  done
}

# SIGKILL to the pids that COMMAND prints, again each time, until it prints
# none; fails, naming them, when some still run 30 s later. On a loaded
# machine a killed samba can take longer than 10 s to go: a two-DC reset
# once failed so at a load average of 12.
kill_until_gone() {
  local deadline=$((SECONDS + 30))
  local -a left=()
  while mapfile -t left < <("$@"); [ ${#left[@]} -gt 0 ]; do
    kill -KILL "${left[@]}" 2>/dev/null || true
    [ $SECONDS -lt $deadline ] || break
    sleep 0.05
  done
  [ ${#left[@]} -gt 0 ] || return 0
  echo "still running after SIGKILL:" >&2
  described "${left[@]}" >&2
  return 1
}

end_recorded() {
  local file=$1 grace=${2:-0} pid started group
  [ -f "$file" ] || return 0
  read -r pid started group <"$file" || true
  # No start: samba's own pid file, or a process that had ended when recorded.
  [ -n "$started" ] || return 0
  local -a tree=()
  if [ "$(running_since "$pid")" = "$started" ]; then
    mapfile -t tree < <(for member in $(process_tree "$pid"); do echo "$member:$(running_since "$member")"; done)
  fi
  if [ ${#tree[@]} -gt 0 ] && [ "$grace" -gt 0 ]; then
    kill -TERM "$pid" 2>/dev/null || true
    # A stopped process acts on SIGTERM only once it runs again.
    kill -CONT "${tree[@]%:*}" 2>/dev/null || true
    local deadline=$((SECONDS + grace))
    while [ $SECONDS -lt $deadline ] && [ -n "$(still_running "$started" "$group" "${tree[@]}")" ]; do
      sleep 0.2
    done
    [ -z "$(still_running "$started" "$group" "${tree[@]}")" ] ||
      echo "$pid or a process below it outlived SIGTERM by $grace s: SIGKILL" >&2
  fi
  kill_until_gone still_running "$started" "$group" "${tree[@]}" || return 1
  rm -f "$file"
}

# The processes of a Wine prefix: Wine's binaries started for it. Its
# services are daemons, each in a session of its own, below no process of ours.
prefix_processes() {
  local environ pid
  for environ in $(grep -lsxzaF "WINEPREFIX=$1" /proc/[0-9]*/environ || true); do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    case $(readlink "/proc/$pid/exe") in /usr/lib/wine/*) echo "$pid" ;; esac
  done
}

end_prefix() {
  # -k fails when no server runs; -w returns once none runs.
  WINEPREFIX=$1 /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX=$1 timeout 20 /usr/lib/wine/wineserver -w 2>/dev/null || true
  kill_until_gone prefix_processes "$1"
}

# What a run left under DIR: every process that a pid record there names
# (with what runs below it; a killed run's daemons outlive it) and every
# process of each Wine prefix there.
end_leftovers() {
  local dir=$1 grace=${2:-0} record prefix status=0
  [ -d "$dir" ] || return 0
  while IFS= read -r -d '' prefix; do
    end_prefix "$(dirname "$prefix")" || status=1
  done < <(find "$dir" -name system.reg -type f -print0)
  while IFS= read -r -d '' record; do
    end_recorded "$record" "$grace" || status=1
  done < <(find "$dir" -name '*.pid' -type f -print0)
  return $status
}

remove_work() {
  end_leftovers "$1" || { echo "$1 is kept: something that it records still runs" >&2; return 1; }
  rm -rf "$1"
}

# What a killed run of the script left there ends first.
open_work() {
  remove_work "$1" || exit 1
  mkdir -p "$1"
  session_work=$1 session_prefix=${2:-}
}

# The prefix ends first: its programs are clients of the display. A script
# whose clean-up leaves something running fails, whatever it did before.
close_work() {
  local status=$1
  [ -z "$session_prefix" ] || end_prefix "$session_prefix" || status=1
  end_leftovers "$session_work" 15 || status=1
  exit "$status"
}

start_xvfb() {
  local dir=$1 display="" pid
  # Xvfb chooses a free display number itself and writes it to fd 5.
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    5>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  pid=$!
  record_pid "$pid" "$dir/xvfb.pid"
  for _ in $(seq 200); do
    display=$(head -n 1 "$dir/display" 2>/dev/null || true)
    [ -z "$display" ] && [ -n "$(running_since "$pid")" ] || break
    sleep 0.1
  done
  if [ -z "$display" ]; then
    echo "Xvfb did not start (see $dir/xvfb.log)" >&2
    return 1
  fi
  export DISPLAY=:$display
}

# The proxy outlives the script that starts it (the program tests' agent
# answers one request a call); its record is where stop_proxy and the
# clean-up of the work directory find it. Debian's interpreter, not the
# first python3 on PATH: a version manager's shim there costs 0.4 s a
# start, and the proxy starts for every run of the program under test.
start_proxy() {
  local dir=$1 listen=$2 target=$3
  shift 3
  stop_proxy "$dir" || return 1
  : >"$dir/proxy.log"
  /usr/bin/python3 "$session_tools/ldap-proxy.py" --listen "$listen" --target "$target" --log "$dir/proxy.log" \
    "$@" </dev/null >"$dir/proxy.log.out" 2>&1 &
  record_pid $! "$dir/proxy.pid"
  for _ in $(seq 100); do
    grep -q '^ *[0-9.]* listening on' "$dir/proxy.log" && return 0
    [ -n "$(recorded_pid "$dir/proxy.pid")" ] || break
    sleep 0.05
  done
  echo "the proxy did not start:" >&2
  cat "$dir/proxy.log.out" >&2
  stop_proxy "$dir"
  return 1
}

# Gone, not only signalled: the next proxy listens on the same address.
stop_proxy() { end_recorded "$1/proxy.pid" 5; }

forest() { "$session_tools/forest.sh" "$@"; }

# Killed rather than stopped: nothing of the copy before is kept.
fresh_forest() {
  end_recorded "$2/forest.pid" || return 1
  forest fresh "$@"
}

loopback_only() {
  local address
  for address in "$@"; do
    case $address in
      127.*) ;;
      *) echo "$address is not a loopback address (127.0.0.0/8): nothing here listens off loopback" >&2; return 1 ;;
    esac
  done
}
