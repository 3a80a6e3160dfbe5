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
  # Children that outlived a samba that died would hold its address.
  end_recorded "$dir/forest.pid" || die "what is left of the forest in $dir still runs"
  rm -f "$dir/run/samba.pid"
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
  stop_dir "$dir" >&2 || true
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
  loopback_only "$ip" || exit 1
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

# SIGTERM to the copy's samba, which ends its children on its way out: the
# wait is for all of them, so that a copy that starts again finds its
# databases closed. What outlives STOP_TIMEOUT is killed; what survives that
# keeps the record, and the stop fails.
stop_dir() {
  local dir=$1 pid
  pid=$(live_pid "$dir")
  if ! end_recorded "$dir/forest.pid" "$STOP_TIMEOUT"; then
    echo "forest: samba of $dir survives; its record stays in $dir/forest.pid" >&2
    return 1
  fi
  [ -z "$pid" ] || echo "forest: stopped samba $pid of $dir"
}

# Stops a copy, or both DCs of a copied pair.
stop_any() {
  local dir=$1 member status=0
  if [ -f "$dir/forest.pair" ]; then
    for member in $(cat "$dir/forest.pair"); do stop_dir "$dir/$member" || status=1; done
  else
    stop_dir "$dir" || status=1
  fi
  [ $status -eq 0 ] || die "something of the forest in $dir still runs"
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
  [ -d "$1" ] || return 0
  stop_any "$(abs "$1")"
}

cmd_remove() {
  [ -d "$1" ] || return 0
  local run
  run=$(abs "$1")
  stop_any "$run"
  rm -rf "$run"
}

# Tests that change the directory call this to begin from the template again.
cmd_restart() {
  local template ip
  [ -f "$1/forest.template" ] || die "$1 was not made by forest.sh start"
  template=$(cat "$1/forest.template")
  ip=$(ip_of "$1")
  cmd_remove "$1"
  cmd_start "$template" "$1" "$ip"
}

cmd_fresh() {
  [ $# -eq 3 ] || die "usage: forest.sh fresh TEMPLATE_DIR RUN_DIR IP"
  cmd_provision "$1" "$3"
  cmd_remove "$2"
  cmd_start "$@"
}

cmd_pause() {
  [ -n "$(live_pid "$1")" ] || die "the forest in $1 is not running"
  signal_tree "$1" STOP
  echo "forest: paused $1"
}

cmd_resume() {
  signal_tree "$1" CONT
  echo "forest: resumed $1"
}
