#!/usr/bin/env bash
# Runs throwaway Samba AD forests on loopback addresses for the tests and the
# demo. A forest is provisioned once into a template directory, then copied
# per run so each run starts from the same untouched directory data.
#
#   forest.sh provision TEMPLATE_DIR [IP]     provision the template (idempotent)
#   forest.sh start TEMPLATE_DIR RUN_DIR IP   fresh copy in RUN_DIR, started on IP
#   forest.sh stop RUN_DIR                    stop the copy's samba, keep the files
#   forest.sh remove RUN_DIR                  stop it and delete RUN_DIR
#   forest.sh restart RUN_DIR                 a fresh copy again, same template and IP
#   forest.sh fresh TEMPLATE_DIR RUN_DIR IP   provision if needed, then a fresh copy
#   forest.sh down RUN_DIR / up RUN_DIR       stop / start the same copy again
#   forest.sh pause RUN_DIR / resume RUN_DIR  SIGSTOP / SIGCONT every process
#   forest.sh search RUN_DIR ARGS...          ldbsearch on the copy's sam.ldb
#   forest.sh ldapsearch RUN_DIR ARGS...      ldapsearch over LDAP as Administrator
#   forest.sh ldapmodify RUN_DIR ARGS...      ldapmodify (LDIF on stdin) as Administrator
#   forest.sh adduser RUN_DIR NAME PASSWORD   an ordinary user (no schema rights)
#   forest.sh status RUN_DIR                  exit 0 when LDAP answers a bind
#   forest.sh kerberos RUN_DIR                the copy's KRB5_CONFIG and KRB5CCNAME, as
#                                             assignments (RUN_DIR/krb5.conf, RUN_DIR/krb5cc)
#   forest.sh kinit RUN_DIR                   a ticket for Administrator in that cache
#
# Each started copy can be reached with Kerberos: its KDC is in
# RUN_DIR/krb5.conf and the DC has the SPN ldap/IP, so that a client that
# names the server by its address finds a key for it.
#
# Everything lives inside the given directories: the system's own Samba
# configuration and state are never read or written. Only the pid recorded
# for the copy is ever signalled.
set -euo pipefail

readonly REALM=SAMDOM.TEST
readonly DOMAIN=SAMDOM
readonly ADMIN_USER=Administrator@samdom.test
readonly ADMIN_PASSWORD=Passw0rd-Admin1
readonly BASE_DN=DC=samdom,DC=test
readonly START_TIMEOUT=${FOREST_START_TIMEOUT:-90}
readonly STOP_TIMEOUT=${FOREST_STOP_TIMEOUT:-15}

die() {
  echo "forest: $*" >&2
  exit 1
}

need() {
  command -v "$1" >/dev/null 2>&1 ||
    die "'$1' is missing; install the packages with tools/install-deps.sh"
}

abs() {
  mkdir -p "$1"
  (cd "$1" && pwd)
}

# Writes DIR/etc/smb.conf for a forest that lives entirely inside DIR and
# listens only on IP. Without "interfaces = IP/8" samba listens on nothing;
# the schema option lets the schema be extended at all (else every add to it
# is refused with 53); no dns forwarder, so nothing is ever sent off-machine.
write_conf() {
  local dir=$1 ip=$2
  mkdir -p "$dir/etc" "$dir/run" "$dir/log" "$dir/cache" "$dir/state" "$dir/bind-dns"
  cat >"$dir/etc/smb.conf" <<EOF
# Written by tools/forest.sh for a throwaway test forest.
[global]
	netbios name = DC1
	realm = $REALM
	workgroup = $DOMAIN
	server role = active directory domain controller
	interfaces = $ip/8
	bind interfaces only = yes
	server services = ldap cldap kdc dns
	dns update command = /bin/true
	spn update command = /bin/true
	ldap server require strong auth = no
	dsdb:schema update allowed = true
	load printers = no
	printing = bsd
	printcap name = /dev/null
	disable spoolss = yes
	private dir = $dir/private
	binddns dir = $dir/bind-dns
	lock directory = $dir
	state directory = $dir/state
	cache directory = $dir/cache
	pid directory = $dir/run
	ncalrpc dir = $dir/run/ncalrpc
	ntp signd socket directory = $dir/run/ntp_signd
	winbindd socket directory = $dir/run/winbindd
	log file = $dir/log/log.%m
	logging = file
	log level = 1

[sysvol]
	path = $dir/state/sysvol
	read only = no

[netlogon]
	path = $dir/state/sysvol/samdom.test/scripts
	read only = no
EOF
}

# The Kerberos client configuration of a copy on IP, and the SPN ldap/IP on
# the DC's account (added once: a copy of a template provisioned on the
# same address already has it). The DC is named by its address: no DNS.
write_kerberos() {
  local dir=$1 ip=$2 dc="CN=DC1,OU=Domain Controllers,$BASE_DN"
  cat >"$dir/krb5.conf" <<EOF
# Written by tools/forest.sh for a throwaway test forest.
[libdefaults]
	default_realm = $REALM
	dns_lookup_realm = false
	dns_lookup_kdc = false
	rdns = false
	dns_canonicalize_hostname = false
[realms]
	$REALM = {
		kdc = $ip
	}
[domain_realm]
	$ip = $REALM
EOF
  if ! ldbsearch -H "$dir/private/sam.ldb" -b "$dc" -s base "(servicePrincipalName=ldap/$ip)" dn 2>/dev/null |
      grep -q '^dn:'; then
    ldbmodify -H "$dir/private/sam.ldb" >/dev/null <<EOF ||
dn: $dc
changetype: modify
add: servicePrincipalName
servicePrincipalName: ldap/$ip
EOF
      die "could not add the SPN ldap/$ip to the DC in $dir"
  fi
}

ip_of() {
  [ -f "$1/forest.ip" ] || die "$1 is not a forest run directory (no forest.ip)"
  cat "$1/forest.ip"
}

# Field 22 of /proc/PID/stat: when the process started, in clock ticks since
# boot. A pid together with its start time names one process for good.
start_time() {
  sed -e 's/^.*) //' "/proc/$1/stat" 2>/dev/null | awk '{print $20}'
}

# The recorded master pid when that very process is still alive; empty
# otherwise. samba rewrites its command line ("samba: root process"), so the
# recorded start time, not the name, guards against a pid that was reused by
# some unrelated process after our samba ended.
live_pid() {
  local dir=$1 pid started
  [ -f "$dir/forest.pid" ] || return 0
  read -r pid started <"$dir/forest.pid" || true
  [ -n "$pid" ] && [ -n "$started" ] || return 0
  if [ "$(start_time "$pid")" = "$started" ]; then
    echo "$pid"
  fi
}

# The master and every process below it. samba forks each service from the
# master and each worker from its service; they are found through their
# parent links, not by name.
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

# A paused server accepts the connection and then never answers, so the
# whole query is bounded, not only the connect.
ldap_answers() {
  timeout 5 ldapsearch -x -LLL -o nettimeout=3 -H "ldap://$1" -D "$ADMIN_USER" -w "$ADMIN_PASSWORD" \
    -b "" -s base defaultNamingContext >/dev/null 2>&1
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
  samba -s "$dir/etc/smb.conf" -l "$dir/log" -D </dev/null >"$dir/log/start.out" 2>&1 8>&- ||
    die "samba did not start; see $dir/log/start.out and $dir/log/"
  deadline=$((SECONDS + START_TIMEOUT))
  pid=""
  while [ $SECONDS -lt $deadline ]; do
    if [ -z "$pid" ] && [ -s "$dir/run/samba.pid" ]; then
      pid=$(tr -dc '0-9' <"$dir/run/samba.pid")
      echo "$pid $(start_time "$pid")" >"$dir/forest.pid"
    fi
    if [ -n "$pid" ] && [ -z "$(live_pid "$dir")" ]; then
      die "samba (pid $pid) ended during start-up; see $dir/log/"
    fi
    if [ -n "$pid" ] && ldap_answers "$ip"; then
      echo "forest: started on $ip, pid $pid, in $dir"
      return 0
    fi
    sleep 0.2
  done
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
  die "LDAP on $ip did not answer within ${START_TIMEOUT}s; see $dir/log/"
}

cmd_provision() {
  local template ip=${2:-${FOREST_IP:-127.0.0.2}}
  [ $# -ge 1 ] || die "usage: forest.sh provision TEMPLATE_DIR [IP]"
  need samba-tool
  need samba
  need ldbmodify
  need ldapsearch
  template=$(abs "$1")
  exec 8>"$template.lock"
  flock 8
  if [ -f "$template/.provisioned" ]; then
    exec 8>&-
    echo "forest: template $template is ready"
    return 0
  fi
  local work="$template.work"
  rm -rf "$work"
  mkdir -p "$work/etc"
  write_conf "$work" "$ip"
  echo "forest: provisioning $REALM into $template (about 10 s)"
  # The -s file keeps samba-tool away from the system's /etc/samba/smb.conf.
  if ! samba-tool domain provision -s "$work/etc/smb.conf" --targetdir="$work" \
      --realm=$REALM --domain=$DOMAIN --server-role=dc --dns-backend=SAMBA_INTERNAL \
      --host-name=dc1 --host-ip="$ip" --adminpass="$ADMIN_PASSWORD" \
      --option="interfaces=$ip/8" --option="bind interfaces only=yes" \
      >"$work/provision.log" 2>&1; then
    tail -20 "$work/provision.log" >&2
    die "provisioning failed; the whole log is $work/provision.log"
  fi
  # provision writes its own smb.conf with system paths in it; replace it.
  write_conf "$work" "$ip"
  write_kerberos "$work" "$ip"
  # The administrator's password would expire after 42 days in a template
  # that is kept: 66048 is a normal account whose password never expires.
  ldbmodify -H "$work/private/sam.ldb" >/dev/null <<EOF ||
dn: CN=Administrator,CN=Users,$BASE_DN
changetype: modify
replace: userAccountControl
userAccountControl: 66048
EOF
    die "could not set userAccountControl on Administrator"
  # One start makes the TLS keys, so that every copy starts quickly.
  echo "$ip" >"$work/forest.ip"
  launch "$work"
  stop_dir "$work"
  rm -f "$work/forest.ip" "$work/forest.pid"
  rm -rf "$template"
  mv "$work" "$template"
  touch "$template/.provisioned"
  exec 8>&-
  echo "forest: template $template is ready"
}

cmd_start() {
  [ $# -eq 3 ] || die "usage: forest.sh start TEMPLATE_DIR RUN_DIR IP"
  local template run ip=$3
  need samba
  need ldapsearch
  case $ip in
    127.*) ;;
    *) die "the forest listens on loopback only; $ip is not in 127.0.0.0/8" ;;
  esac
  template=$(cd "$1" 2>/dev/null && pwd) || die "no template directory $1; run provision first"
  [ -f "$template/.provisioned" ] || die "$template is not a provisioned template; run provision first"
  run=$(abs "$2")
  [ -z "$(live_pid "$run")" ] && [ ! -f "$run/forest.ip" ] || stop_dir "$run"
  rm -rf "$run"
  cp -a "$template" "$run"
  rm -f "$run/.provisioned"
  # The copy's sockets and pid belong to the template's start, not to us.
  rm -rf "$run/run" "$run/log"
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
  deadline=$((SECONDS + STOP_TIMEOUT))
  while [ $SECONDS -lt $deadline ] && [ -n "$(live_pid "$dir")" ]; do
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
  stop_dir "$(abs "$1")"
}

cmd_remove() {
  [ $# -eq 1 ] || die "usage: forest.sh remove RUN_DIR"
  [ -d "$1" ] || return 0
  local run
  run=$(abs "$1")
  stop_dir "$run"
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

cmd_search() {
  [ $# -ge 1 ] || die "usage: forest.sh search RUN_DIR [ldbsearch args...]"
  local dir
  dir=$(abs "$1")
  shift
  [ -f "$dir/private/sam.ldb" ] || die "no sam.ldb in $dir/private"
  ldbsearch -H "$dir/private/sam.ldb" "$@"
}

cmd_ldapsearch() {
  [ $# -ge 1 ] || die "usage: forest.sh ldapsearch RUN_DIR [ldapsearch args...]"
  local dir ip
  dir=$(abs "$1")
  shift
  ip=$(ip_of "$dir")
  ldapsearch -x -LLL -o ldif-wrap=no -H "ldap://$ip" -D "$ADMIN_USER" -w "$ADMIN_PASSWORD" "$@"
}

cmd_ldapmodify() {
  [ $# -ge 1 ] || die "usage: forest.sh ldapmodify RUN_DIR [ldapmodify args...] <LDIF"
  local dir ip
  dir=$(abs "$1")
  shift
  ip=$(ip_of "$dir")
  ldapmodify -x -H "ldap://$ip" -D "$ADMIN_USER" -w "$ADMIN_PASSWORD" "$@"
}

cmd_adduser() {
  [ $# -eq 3 ] || die "usage: forest.sh adduser RUN_DIR NAME PASSWORD"
  local dir
  dir=$(abs "$1")
  samba-tool user create "$2" "$3" -s "$dir/etc/smb.conf" -H "$dir/private/sam.ldb" >/dev/null ||
    die "could not create user $2 in $dir"
  echo "forest: user $2@samdom.test created in $dir"
}

# The copy's Kerberos client settings, one assignment a line.
kerberos_env() {
  [ -f "$1/krb5.conf" ] || die "no krb5.conf in $1; start the copy with forest.sh start"
  echo "KRB5_CONFIG=$1/krb5.conf"
  echo "KRB5CCNAME=FILE:$1/krb5cc"
}

cmd_kerberos() {
  [ $# -eq 1 ] || die "usage: forest.sh kerberos RUN_DIR"
  kerberos_env "$(abs "$1")"
}

cmd_kinit() {
  [ $# -eq 1 ] || die "usage: forest.sh kinit RUN_DIR"
  need kinit
  local dir
  dir=$(abs "$1")
  kerberos_env "$dir" >/dev/null
  echo "$ADMIN_PASSWORD" | KRB5_CONFIG="$dir/krb5.conf" KRB5CCNAME="FILE:$dir/krb5cc" \
    kinit "${ADMIN_USER%@*}@$REALM" >/dev/null || die "kinit as Administrator failed in $dir"
}

cmd_status() {
  [ $# -eq 1 ] || die "usage: forest.sh status RUN_DIR"
  local dir
  dir=$(abs "$1")
  [ -n "$(live_pid "$dir")" ] && ldap_answers "$(ip_of "$dir")"
}

[ $# -ge 1 ] || die "usage: forest.sh provision|start|fresh|stop|remove|restart|down|up|pause|resume|search|ldapsearch|ldapmodify|adduser|status|kerberos|kinit ..."
command=$1
shift
case $command in
  provision) cmd_provision "$@" ;;
  start) cmd_start "$@" ;;
  stop | down) cmd_stop "$@" ;;
  remove) cmd_remove "$@" ;;
  restart) cmd_restart "$@" ;;
  fresh) cmd_fresh "$@" ;;
  up) cmd_up "$@" ;;
  pause) cmd_pause "$@" ;;
  resume) cmd_resume "$@" ;;
  search) cmd_search "$@" ;;
  ldapsearch) cmd_ldapsearch "$@" ;;
  ldapmodify) cmd_ldapmodify "$@" ;;
  adduser) cmd_adduser "$@" ;;
  status) cmd_status "$@" ;;
  kerberos) cmd_kerberos "$@" ;;
  kinit) cmd_kinit "$@" ;;
  *) die "unknown command '$command'" ;;
esac
