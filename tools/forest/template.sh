# The template part of tools/forest.sh: a forest provisioned once into a
# directory of its own, started once (TLS keys) and stopped, ready to copy.

# Writes DIR/etc/smb.conf for a DC that lives entirely inside DIR and listens
# only on IP. Without "interfaces = IP/8" samba listens on nothing; the schema
# option lets the schema be extended at all (else every add to it is refused
# with 53); no dns forwarder, so nothing is ever sent off-machine. A DC of a
# pair (NAME DC1 or DC2, fourth argument "pair") also runs the replication
# services, resolves names through its hosts file only and tells its partner
# of a change within a second.
write_conf() {
  local dir=$1 ip=$2 name=${3:-DC1} kind=${4:-single} services="ldap cldap kdc dns" extra=""
  if [ "$kind" = pair ]; then
    services="$services rpc drepl kcc"
    extra=$'\tname resolve order = host\n\tdreplsrv:notify_interval = 1\n\tprefork children = 1'
  fi
  mkdir -p "$dir/etc" "$dir/run" "$dir/log" "$dir/cache" "$dir/state" "$dir/bind-dns"
  cat >"$dir/etc/smb.conf" <<EOF
# Written by tools/forest.sh for a throwaway test forest.
[global]
	netbios name = $name
	realm = $REALM
	workgroup = $DOMAIN
	server role = active directory domain controller
	interfaces = $ip/8
	bind interfaces only = yes
	server services = $services
${extra:+$extra
}	dns update command = /bin/true
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
	path = $dir/state/sysvol/$DNS_DOMAIN/scripts
	read only = no
EOF
}

# samba-tool domain provision of DC1 into DIR on IP, with the configuration
# replaced afterwards and an administrator whose password never expires.
provision_dc1() {
  local dir=$1 ip=$2 kind=$3
  mkdir -p "$dir/etc"
  write_conf "$dir" "$ip" DC1 "$kind"
  # The -s file keeps samba-tool away from the system's /etc/samba/smb.conf.
  if ! timeout 300 samba-tool domain provision -s "$dir/etc/smb.conf" --targetdir="$dir" \
      --realm=$REALM --domain=$DOMAIN --server-role=dc --dns-backend=SAMBA_INTERNAL \
      --host-name=dc1 --host-ip="$ip" --adminpass="$ADMIN_PASSWORD" \
      --option="interfaces=$ip/8" --option="bind interfaces only=yes" \
      >"$dir/provision.log" 2>&1; then
    tail -20 "$dir/provision.log" >&2
    die "provisioning failed; the whole log is $dir/provision.log"
  fi
  # provision writes its own smb.conf with system paths in it; replace it.
  write_conf "$dir" "$ip" DC1 "$kind"
  # The administrator's password would expire after 42 days in a template
  # that is kept: 66048 is a normal account whose password never expires.
  ldbmodify -H "$dir/private/sam.ldb" >/dev/null <<EOF ||
dn: CN=Administrator,CN=Users,$BASE_DN
changetype: modify
replace: userAccountControl
userAccountControl: 66048
EOF
    die "could not set userAccountControl on Administrator"
  echo "$ip" >"$dir/forest.ip"
}

# Runs BUILD WORK ARGS... once per template, under a lock: BUILD fills
# TEMPLATE.work, which then becomes the template.
make_template() {
  local build=$1 template=$2
  shift 2
  exec 8>"$template.lock"
  flock 8
  if [ ! -f "$template/.provisioned" ]; then
    local work="$template.work"
    # A build that was killed leaves its DC running there.
    stop_any "$work"
    rm -rf "$work"
    mkdir -p "$work"
    # A build that fails leaves no DC of its own running.
    trap "stop_any '$work' >/dev/null 2>&1 || true" EXIT
    "$build" "$work" "$@"
    trap - EXIT
    rm -rf "$template"
    mv "$work" "$template"
    touch "$template/.provisioned"
  fi
  exec 8>&-
  echo "forest: template $template is ready"
}

build_single() {
  local work=$1 ip=$2
  echo "forest: provisioning $REALM into $work (about 10 s)"
  provision_dc1 "$work" "$ip" single
  write_kerberos "$work" "$ip"
  # One start makes the TLS keys, so that every copy starts quickly.
  launch "$work"
  stop_any "$work"
  rm -f "$work/forest.ip"
}

cmd_provision() {
  [ $# -ge 1 ] || die "usage: forest.sh provision TEMPLATE_DIR [IP]"
  local ip=${2:-${FOREST_IP:-127.0.0.2}}
  loopback_only "$ip" || exit 1
  need samba-tool
  need samba
  need ldbmodify
  need ldapsearch
  make_template build_single "$(abs "$1")" "$ip"
}
