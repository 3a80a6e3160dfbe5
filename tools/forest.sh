#!/usr/bin/env bash
# Runs throwaway Samba AD forests on loopback addresses for the tests and the
# demo. A forest is provisioned once into a template directory, then copied
# per run so each run starts from the same untouched directory data.
#
#   forest.sh provision TEMPLATE_DIR [IP]     provision the template (idempotent)
#   forest.sh start TEMPLATE_DIR RUN_DIR IP   fresh copy in RUN_DIR, started on IP
#   forest.sh stop RUN_DIR                    stop the copy's samba (a pair: both), keep the files
#   forest.sh remove RUN_DIR                  stop it and delete RUN_DIR
#   forest.sh restart RUN_DIR                 a fresh copy again, same template and IP
#   forest.sh fresh TEMPLATE_DIR RUN_DIR IP   provision if needed, then a fresh copy
#   forest.sh down RUN_DIR / up RUN_DIR       stop / start the same copy again
#   forest.sh pause RUN_DIR / resume RUN_DIR  SIGSTOP / SIGCONT every process
#   forest.sh search RUN_DIR ARGS...          ldbsearch on the copy's sam.ldb
#   forest.sh ldapsearch RUN_DIR ARGS...      ldapsearch over LDAP as Administrator
#   forest.sh ldapmodify RUN_DIR ARGS...      ldapmodify (LDIF on stdin) as Administrator
#   forest.sh ldif FILE                       FILE with its forest DN DC=X made this forest's
#   forest.sh adduser RUN_DIR NAME PASSWORD   an ordinary user (no schema rights)
#   forest.sh status RUN_DIR                  exit 0 when LDAP answers a bind
#   forest.sh kerberos RUN_DIR                the copy's KRB5_CONFIG and KRB5CCNAME, as
#                                             assignments (RUN_DIR/krb5.conf, RUN_DIR/krb5cc)
#   forest.sh kinit RUN_DIR                   a ticket for Administrator in that cache
#
# Two DCs (DC1 with every FSMO role, DC2 joined; RUN_DIR/dc1 and RUN_DIR/dc2
# are copies for every command above):
#   forest.sh provision-pair TEMPLATE_DIR IP1 IP2       provision and join (idempotent)
#   forest.sh start-pair TEMPLATE_DIR RUN_DIR           fresh copy of both, started
#   forest.sh fresh-pair TEMPLATE_DIR RUN_DIR IP1 IP2   provision if needed, then a fresh copy
#   forest.sh transfer-schema RUN_DIR dc1|dc2           move the schema role there
#
# Everything lives inside the given directories: the system's own Samba
# configuration and state are never read or written. Only the pid recorded
# for the copy is ever signalled. Every wait is bounded; a failure names its
# step and shows the tail of that DC's logs.
set -euo pipefail

parts=$(cd "$(dirname "${BASH_SOURCE[0]}")/forest" && pwd)
for part in common template copy read kerberos pair; do
  . "$parts/$part.sh"
done

usage() {
  sed -n '/^#   forest.sh/p' "${BASH_SOURCE[0]}" | sed 's/^#  //' >&2
  exit 1
}

[ $# -ge 1 ] || usage
command=$1
shift
# The commands that take a run directory alone get its absolute path; stop
# and remove, which make none, get it as given.
case $command in
  stop | down | remove) [ $# -eq 1 ] || die "usage: forest.sh $command RUN_DIR" ;;
  restart | up | pause | resume | status | kerberos | kinit)
    [ $# -eq 1 ] || die "usage: forest.sh $command RUN_DIR"
    set -- "$(abs "$1")" ;;
esac
case $command in
  provision) cmd_provision "$@" ;;
  start) cmd_start "$@" ;;
  stop | down) cmd_stop "$@" ;;
  remove) cmd_remove "$@" ;;
  restart) cmd_restart "$@" ;;
  fresh) cmd_fresh "$@" ;;
  up) launch "$1" ;;
  pause) cmd_pause "$@" ;;
  resume) cmd_resume "$@" ;;
  search) cmd_search "$@" ;;
  ldapsearch) cmd_ldapsearch "$@" ;;
  ldapmodify) cmd_ldapmodify "$@" ;;
  ldif) cmd_ldif "$@" ;;
  adduser) cmd_adduser "$@" ;;
  status) cmd_status "$@" ;;
  kerberos) kerberos_env "$1" ;;
  kinit) cmd_kinit "$@" ;;
  provision-pair) cmd_provision_pair "$@" ;;
  start-pair) cmd_start_pair "$@" ;;
  fresh-pair) cmd_fresh_pair "$@" ;;
  transfer-schema) cmd_transfer_schema "$@" ;;
  *) echo "forest: unknown command '$command'" >&2; usage ;;
esac
