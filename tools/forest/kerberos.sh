# The Kerberos part of tools/forest.sh: each started copy can be reached with
# Kerberos. Its KDC is in RUN_DIR/krb5.conf and the DC has the SPN ldap/IP,
# so that a client that names the server by its address finds a key for it.

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

# The copy's Kerberos client settings, one assignment a line.
kerberos_env() {
  [ -f "$1/krb5.conf" ] || die "no krb5.conf in $1; start the copy with forest.sh start"
  echo "KRB5_CONFIG=$1/krb5.conf"
  echo "KRB5CCNAME=FILE:$1/krb5cc"
}

cmd_kinit() {
  need kinit
  kerberos_env "$1" >/dev/null
  echo "$ADMIN_PASSWORD" | KRB5_CONFIG="$1/krb5.conf" KRB5CCNAME="FILE:$1/krb5cc" \
    kinit "${ADMIN_USER%@*}@$REALM" >/dev/null || die "kinit as Administrator failed in $1"
}
