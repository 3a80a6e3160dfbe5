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

# TOOL (ldapsearch, ldapmodify) on the copy in RUN_DIR as Administrator:
# as_admin TOOL RUN_DIR ARGS...
as_admin() {
  local tool=$1 ip
  ip=$(ip_of "$(abs "$2")")
  shift 2
  timeout 60 "$tool" -x -H "ldap://$ip" -D "$ADMIN_USER" -w "$ADMIN_PASSWORD" "$@"
}

cmd_ldapsearch() {
  [ $# -ge 1 ] || die "usage: forest.sh ldapsearch RUN_DIR [ldapsearch args...]"
  as_admin ldapsearch "$1" -LLL -o ldif-wrap=no "${@:2}"
}

cmd_ldapmodify() {
  [ $# -ge 1 ] || die "usage: forest.sh ldapmodify RUN_DIR [ldapmodify args...] <LDIF"
  as_admin ldapmodify "$@"
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

cmd_status() { [ -n "$(live_pid "$1")" ] && ldap_answers "$(ip_of "$1")"; }
