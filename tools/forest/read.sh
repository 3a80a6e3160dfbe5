# The directory part of tools/forest.sh: reads and changes of a copy's
# directory, either straight from its sam.ldb or over LDAP as Administrator
# (bounded: a paused DC accepts the connection and never answers).

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
  timeout 60 ldapsearch -x -LLL -o ldif-wrap=no -H "ldap://$ip" -D "$ADMIN_USER" -w "$ADMIN_PASSWORD" "$@"
}

cmd_ldapmodify() {
  [ $# -ge 1 ] || die "usage: forest.sh ldapmodify RUN_DIR [ldapmodify args...] <LDIF"
  local dir ip
  dir=$(abs "$1")
  shift
  ip=$(ip_of "$dir")
  timeout 60 ldapmodify -x -H "ldap://$ip" -D "$ADMIN_USER" -w "$ADMIN_PASSWORD" "$@"
}

# An LDIF written for any forest, its placeholder DN DC=X replaced with this
# forest's, as ldifde -c DC=X does it.
cmd_ldif() {
  [ $# -eq 1 ] || die "usage: forest.sh ldif FILE"
  sed "s/DC=X/$BASE_DN/g" "$1"
}

cmd_adduser() {
  [ $# -eq 3 ] || die "usage: forest.sh adduser RUN_DIR NAME PASSWORD"
  local dir
  dir=$(abs "$1")
  samba-tool user create "$2" "$3" -s "$dir/etc/smb.conf" -H "$dir/private/sam.ldb" >/dev/null ||
    die "could not create user $2 in $dir"
  echo "forest: user $2@$DNS_DOMAIN created in $dir"
}

cmd_status() {
  [ $# -eq 1 ] || die "usage: forest.sh status RUN_DIR"
  local dir
  dir=$(abs "$1")
  [ -n "$(live_pid "$dir")" ] && ldap_answers "$(ip_of "$dir")"
}
