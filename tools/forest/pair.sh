# The two-DC part of tools/forest.sh: DC1 with every FSMO role and DC2 joined
# as a second writable DC, each on its own loopback address, replicating both
# ways. A pair directory holds dc1/ and dc2/ (each an ordinary copy for the
# other commands: stop, up, search, ldapsearch...), the names both resolve
# (hosts for nss_wrapper, dns for resolv_wrapper) and forest.pair.
#
# samba and samba-tool run under nss_wrapper and resolv_wrapper: replication
# connects to <NTDS-GUID>._msdcs names and Heimdal looks names up in DNS. A
# name missing from those files fails at once instead of reaching the
# system's resolver, and no command here ever lets samba-tool find a DC itself.

readonly PAIR_TIMEOUT=${FOREST_PAIR_TIMEOUT:-60}
readonly SITE_SERVERS="CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,$BASE_DN"
readonly DRSUAPI_SPN=E3514235-4B06-11D1-AB04-00C04FC2DCD2

# The objectGUID of DC NAME's NTDS Settings, read from DIR's own sam.ldb.
ntds_guid() {
  ldbsearch -H "$1/private/sam.ldb" -b "CN=NTDS Settings,CN=$2,$SITE_SERVERS" -s base objectGUID 2>/dev/null |
    sed -n 's/^objectGUID: //p'
}

# The pair's name files, from its addresses (forest.ips) and the GUIDs known
# so far (dcN/forest.guid).
write_names() {
  local pair=$1 name ip guid
  : >"$pair/hosts"
  : >"$pair/dns"
  while read -r name ip; do
    guid=$(cat "$pair/$name/forest.guid" 2>/dev/null || true)
    echo "$ip $name.$DNS_DOMAIN $name${guid:+ $guid._msdcs.$DNS_DOMAIN}" >>"$pair/hosts"
    echo "A $name.$DNS_DOMAIN $ip" >>"$pair/dns"
    [ -z "$guid" ] || echo "CNAME $guid._msdcs.$DNS_DOMAIN $name.$DNS_DOMAIN" >>"$pair/dns"
    echo "SRV _ldap._tcp.$DNS_DOMAIN $name.$DNS_DOMAIN 389" >>"$pair/dns"
    echo "SRV _kerberos._tcp.$DNS_DOMAIN $name.$DNS_DOMAIN 88" >>"$pair/dns"
  done <"$pair/forest.ips"
  for name in dc1 dc2; do
    [ ! -d "$pair/$name" ] || printf '%s\n' LD_PRELOAD="libnss_wrapper.so libresolv_wrapper.so" \
      NSS_WRAPPER_HOSTS="$pair/hosts" RESOLV_WRAPPER_HOSTS="$pair/dns" >"$pair/$name/forest.wrap"
  done
}

pair_ip() { awk -v n="$2" '$1 == n { print $2 }' "$1/forest.ips"; }

# samba-tool under the pair's name files, bounded.
pair_tool() {
  local pair=$1
  shift
  wrapped "$pair/dc1" timeout 120 samba-tool "$@"
}

# Whether a change written on each DC reaches the other within TIMEOUT
# seconds, by notification alone; says which did not and fails.
converge() {
  local pair=$1 timeout=$2 from to deadline stamp dn="CN=Users,$BASE_DN"
  for from in dc1 dc2; do
    to=$([ $from = dc1 ] && echo dc2 || echo dc1)
    stamp="converge-$from-$RANDOM"
    printf 'dn: %s\nchangetype: modify\nreplace: description\ndescription: %s\n' "$dn" "$stamp" |
      cmd_ldapmodify "$pair/$from" >/dev/null || die "converge: could not write on $from; $(log_tail "$pair/$from")"
    deadline=$((SECONDS + timeout))
    until cmd_search "$pair/$to" -b "$dn" -s base description 2>/dev/null | grep -q "$stamp"; do
      if [ $SECONDS -ge $deadline ]; then
        echo "forest: a change on $from did not reach $to within ${timeout}s"
        return 1
      fi
      sleep 0.2
    done
  done
  echo "forest: dc1 and dc2 replicate both ways"
}

# One pull by DC1 from DC2 of each partition; it also makes DC2 notify DC1
# of its changes from now on.
pull_from_dc2() {
  local work=$1 nc
  for nc in "$BASE_DN" "CN=Configuration,$BASE_DN" "CN=Schema,CN=Configuration,$BASE_DN" \
      "DC=DomainDnsZones,$BASE_DN" "DC=ForestDnsZones,$BASE_DN"; do
    pair_tool "$work" drs replicate "dc1.$DNS_DOMAIN" "dc2.$DNS_DOMAIN" "$nc" -U "$DOMAIN\\Administrator" \
      --password="$ADMIN_PASSWORD" >>"$work/dc1/replicate.log" 2>&1 ||
      die "DC1 could not pull $nc from DC2; $(log_tail "$work/dc1")"
  done
}

build_pair() {
  local work=$1 ip1=$2 ip2=$3
  printf 'dc1 %s\ndc2 %s\n' "$ip1" "$ip2" >"$work/forest.ips"
  echo "dc1 dc2" >"$work/forest.pair"
  echo "forest: provisioning DC1 of a pair into $work (about 10 s)"
  provision_dc1 "$work/dc1" "$ip1" pair
  ntds_guid "$work/dc1" DC1 >"$work/dc1/forest.guid"
  write_names "$work"
  # The SPNs samba adds at a first start; without the DRSUAPI one DC2's
  # pulls fail with WERR_INVALID_PARAMETER.
  wrapped "$work/dc1" timeout 120 samba_spnupdate -s "$work/dc1/etc/smb.conf" >"$work/dc1/spnupdate.log" 2>&1 ||
    die "samba_spnupdate on DC1 failed; $(log_tail "$work/dc1")"
  launch "$work/dc1"
  echo "forest: joining DC2 on $ip2"
  mkdir -p "$work/dc2"
  write_conf "$work/dc2" "$ip2" DC2 pair
  write_names "$work"
  pair_tool "$work" domain join "$DNS_DOMAIN" DC -s "$work/dc2/etc/smb.conf" --server="dc1.$DNS_DOMAIN" \
    -U "$DOMAIN\\Administrator" --password="$ADMIN_PASSWORD" --dns-backend=SAMBA_INTERNAL \
    --option="interfaces=$ip2/8" --option="bind interfaces only=yes" >"$work/dc2/join.log" 2>&1 ||
    die "joining DC2 failed; $(log_tail "$work/dc2")"
  write_conf "$work/dc2" "$ip2" DC2 pair
  echo "$ip2" >"$work/dc2/forest.ip"
  ntds_guid "$work/dc2" DC2 >"$work/dc2/forest.guid"
  [ -s "$work/dc2/forest.guid" ] || die "DC2 has no NTDS Settings after the join; $(log_tail "$work/dc2")"
  write_names "$work"
  # The join adds no DNS records for loopback addresses.
  pair_tool "$work" dns add "$ip1" "$DNS_DOMAIN" dc2 A "$ip2" -U "$DOMAIN\\Administrator" \
    --password="$ADMIN_PASSWORD" >"$work/dc2/dns.log" 2>&1 &&
    pair_tool "$work" dns add "$ip1" "_msdcs.$DNS_DOMAIN" "$(cat "$work/dc2/forest.guid")" CNAME \
      "dc2.$DNS_DOMAIN" -U "$DOMAIN\\Administrator" --password="$ADMIN_PASSWORD" >>"$work/dc2/dns.log" 2>&1 ||
    die "adding DC2's DNS records on DC1 failed; $(log_tail "$work/dc2")"
  launch "$work/dc2"
  # Under load DC2 was seen not to notify DC1 after the first pulls (a
  # change on DC2 still missing on DC1 a minute later); pulling again
  # registers DC1 with DC2 once more.
  local attempt
  for attempt in 1 2 3; do
    pull_from_dc2 "$work"
    converge "$work" $((PAIR_TIMEOUT / 3)) && break
    [ $attempt -lt 3 ] || die "converge: dc1 and dc2 did not replicate both ways; $(log_tail "$work/dc1")"
  done
  stop_any "$work"
  rm -f "$work"/dc?/forest.wrap
}

cmd_provision_pair() {
  [ $# -eq 3 ] || die "usage: forest.sh provision-pair TEMPLATE_DIR IP1 IP2"
  loopback_only "$2" "$3" || exit 1
  need samba-tool
  need samba
  need samba_spnupdate
  [ -e /usr/lib/x86_64-linux-gnu/libnss_wrapper.so ] && [ -e /usr/lib/x86_64-linux-gnu/libresolv_wrapper.so ] ||
    die "nss_wrapper or resolv_wrapper is missing; install the packages with tools/install-deps.sh"
  make_template build_pair "$(abs "$1")" "$2" "$3"
}

# A fresh copy of a pair template in RUN_DIR with both DCs started. The
# copy keeps the template's addresses, GUIDs and DNS data.
cmd_start_pair() {
  [ $# -eq 2 ] || die "usage: forest.sh start-pair TEMPLATE_DIR RUN_DIR"
  local template run name
  template=$(cd "$1" 2>/dev/null && pwd) || die "no template directory $1; run provision-pair first"
  [ -f "$template/.provisioned" ] && [ -f "$template/forest.pair" ] ||
    die "$template is not a provisioned pair template; run provision-pair first"
  run=$(abs "$2")
  stop_any "$run"
  rm -rf "$run"
  mkdir -p "$run"
  cp "$template/forest.ips" "$template/forest.pair" "$run/"
  echo "$template" >"$run/forest.template"
  for name in dc1 dc2; do
    copy_dc "$template/$name" "$run/$name"
    write_conf "$run/$name" "$(pair_ip "$run" $name)" "${name^^}" pair
  done
  write_names "$run"
  launch "$run/dc1"
  launch "$run/dc2"
}

cmd_fresh_pair() {
  [ $# -eq 4 ] || die "usage: forest.sh fresh-pair TEMPLATE_DIR RUN_DIR IP1 IP2"
  cmd_provision_pair "$1" "$3" "$4"
  cmd_remove "$2"
  cmd_start_pair "$1" "$2"
}

# Moves the schema role to DC NAME of a running pair.
cmd_transfer_schema() {
  [ $# -eq 2 ] || die "usage: forest.sh transfer-schema RUN_DIR dc1|dc2"
  local run
  run=$(abs "$1")
  [ -f "$run/forest.pair" ] || die "$run is not a pair"
  pair_tool "$run" fsmo transfer --role=schema -H "ldap://$2.$DNS_DOMAIN" \
    -U "$DOMAIN\\Administrator" --password="$ADMIN_PASSWORD" ||
    die "moving the schema role to $2 failed; $(log_tail "$run/$2")"
}
