# The running-copy part of tools/forest.sh: a fresh copy of a template,
# started, stopped, paused and resumed by the pid it recorded.

# A paused server accepts the connection and then never answers, so the
# whole query is bounded, not only the connect.
ldap_answers() {
  timeout 5 ldapsearch -x -LLL -o nettimeout=3 -H "ldap://$1" -D "$ADMIN_USER" -w "$ADMIN_PASSWORD" \
    -b "" -s base defaultNamingContext >/dev/null 2>&1
}

# The environment samba runs in: DIR/forest.wrap (one assignment a line) for
# a DC of a pair, which resolves names through the pair's own files.
wrapped() {
  local dir=$1
  shift
  local -a wrap=()
  [ ! -f "$dir/forest.wrap" ] || mapfile -t wrap <"$dir/forest.wrap"
  env "${wrap[@]}" "$@"
}

# Starts samba on an existing copy and waits until LDAP answers a bind.
launch() {
  local dir=$1 ip pid deadline
  ip=$(ip_of "$dir")
  [ -z "$(live_pid "$dir")" ] || die "the forest in $dir is already running"
  rm -f "$dir/run/samba.pid" "$dir/forest.pid"
  if ldap_answers "$ip"; then
    die "something already answers LDAP on $ip; choose another address (FOREST_IP)"
  fi
  # No inherited descriptors: a daemon holding the caller's pipe or lock
  # would keep ctest waiting, or the next provision locked out.
  wrapped "$dir" samba -s "$dir/etc/smb.conf" -l "$dir/log" -D </dev/null >"$dir/log/start.out" 2>&1 8>&- ||
    die "samba did not start in $dir; $(log_tail "$dir")"
  deadline=$((SECONDS + START_TIMEOUT))
  pid=""
  while [ $SECONDS -lt $deadline ]; do
    if [ -z "$pid" ] && [ -s "$dir/run/samba.pid" ]; then
      pid=$(tr -dc '0-9' <"$dir/run/samba.pid")
      record_pid "$pid" "$dir/forest.pid"
    fi
    if [ -n "$pid" ] && [ -z "$(live_pid "$dir")" ]; then
      die "samba (pid $pid) ended during start-up in $dir; $(log_tail "$dir")"
    fi
    if [ -n "$pid" ] && ldap_answers "$ip"; then
      echo "forest: started on $ip, pid $pid, in $dir"
      return 0
    fi
    sleep 0.2
  done
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
  die "LDAP on $ip did not answer within ${START_TIMEOUT}s; $(log_tail "$dir")"
}

# A copy of the template's TEMPLATE/SUB in RUN/SUB with its own paths, not
# yet started. The copy's sockets, pid and logs belong to the template's start.
copy_dc() {
  local template=$1 run=$2
  cp -a "$template" "$run"
  rm -f "$run/.provisioned" "$run/forest.pid"
  rm -rf "$run/run" "$run/log"
}

cmd_start() {
  [ $# -eq 3 ] || die "usage: forest.sh start TEMPLATE_DIR RUN_DIR IP"
  local template run ip=$3
  need samba
  need ldapsearch
  loopback_only "$ip"
  template=$(cd "$1" 2>/dev/null && pwd) || die "no template directory $1; run provision first"
  [ -f "$template/.provisioned" ] || die "$template is not a provisioned template; run provision first"
  run=$(abs "$2")
  stop_any "$run"
  rm -rf "$run"
  copy_dc "$template" "$run"
  write_conf "$run" "$ip"
  write_kerberos "$run" "$ip"
  rm -f "$run/krb5cc"
  echo "$ip" >"$run/forest.ip"
  echo "$template" >"$run/forest.template"
  launch "$run"
}

stop_dir() {
  local dir=$1 pid deadline
  pid=$(live_pid "$dir")
  if [ -z "$pid" ]; then
    rm -f "$dir/forest.pid"
    return 0
  fi
  # A stopped samba cannot act on SIGTERM; let it run again first.
  signal_tree "$dir" CONT
  local -a tree
  mapfile -t tree < <(process_tree "$pid")
  kill -TERM "$pid" 2>/dev/null || true
  # Waits for the master and the children it ends on its way out, so that a copy that
  # starts again finds its databases closed.
  deadline=$((SECONDS + STOP_TIMEOUT))
  while [ $SECONDS -lt $deadline ] && any_running "${tree[@]}"; do
    sleep 0.2
  done
  if [ -n "$(live_pid "$dir")" ]; then
    echo "forest: samba $pid did not end on SIGTERM; killing it" >&2
    kill -KILL "${tree[@]}" 2>/dev/null || true
  fi
  # Children that outlived the master (they normally end with it) are
  # still in the process group that the master leads.
  if [ ${#tree[@]} -gt 1 ] && ps -o pid= -g "$pid" >/dev/null 2>&1; then
    kill -KILL -- "-$pid" 2>/dev/null || true
  fi
  rm -f "$dir/forest.pid"
  echo "forest: stopped samba $pid of $dir"
}

# Stops a copy, or both DCs of a copied pair.
stop_any() {
  local dir=$1 member
  if [ -f "$dir/forest.pair" ]; then
    for member in $(cat "$dir/forest.pair"); do stop_dir "$dir/$member"; done
  else
    stop_dir "$dir"
  fi
}

signal_tree() {
  local dir=$1 sig=$2 pid
  pid=$(live_pid "$dir")
  [ -n "$pid" ] || return 0
  local -a tree
  mapfile -t tree < <(process_tree "$pid")
  kill "-$sig" "${tree[@]}" 2>/dev/null || true
}

cmd_stop() {
  [ $# -eq 1 ] || die "usage: forest.sh stop RUN_DIR"
  [ -d "$1" ] || return 0
  stop_any "$(abs "$1")"
}

cmd_remove() {
  [ $# -eq 1 ] || die "usage: forest.sh remove RUN_DIR"
  [ -d "$1" ] || return 0
  local run
  run=$(abs "$1")
  stop_any "$run"
  rm -rf "$run"
}

# Tests that change the directory call this to begin from the template again.
cmd_restart() {
  [ $# -eq 1 ] || die "usage: forest.sh restart RUN_DIR"
  local run template ip
  run=$(abs "$1")
  [ -f "$run/forest.template" ] || die "$run was not made by forest.sh start"
  template=$(cat "$run/forest.template")
  ip=$(ip_of "$run")
  cmd_remove "$run"
  cmd_start "$template" "$run" "$ip"
}

cmd_fresh() {
  [ $# -eq 3 ] || die "usage: forest.sh fresh TEMPLATE_DIR RUN_DIR IP"
  cmd_provision "$1" "$3"
  cmd_remove "$2"
  cmd_start "$@"
}

cmd_up() {
  [ $# -eq 1 ] || die "usage: forest.sh up RUN_DIR"
  launch "$(abs "$1")"
}

cmd_pause() {
  [ $# -eq 1 ] || die "usage: forest.sh pause RUN_DIR"
  local dir
  dir=$(abs "$1")
  [ -n "$(live_pid "$dir")" ] || die "the forest in $dir is not running"
  signal_tree "$dir" STOP
  echo "forest: paused $dir"
}

cmd_resume() {
  [ $# -eq 1 ] || die "usage: forest.sh resume RUN_DIR"
  local dir
  dir=$(abs "$1")
  signal_tree "$dir" CONT
  echo "forest: resumed $dir"
}
