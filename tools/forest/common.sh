# Shared by the parts of tools/forest.sh: the forest's constants, failure
# reporting, and the pid records (tools/lib/session.sh) that name one samba
# for good.

readonly REALM=SAMDOM.TEST
readonly DNS_DOMAIN=samdom.test
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

ip_of() {
  [ -f "$1/forest.ip" ] || die "$1 is not a forest run directory (no forest.ip)"
  cat "$1/forest.ip"
}

. "$(dirname "${BASH_SOURCE[0]}")/../lib/session.sh"

# The recorded master pid of a copy when that very process is still alive;
# empty otherwise. samba rewrites its command line ("samba: root process"),
# so the record's start time, not the name, tells it from an unrelated
# process that reused its pid.
live_pid() {
  recorded_pid "$1/forest.pid"
}

# The last lines of a DC's logs, for a failure message.
log_tail() {
  local dir=$1 f
  for f in "$dir"/log/log.samba "$dir"/log/start.out "$dir"/*.log; do
    [ -s "$f" ] || continue
    echo "--- last lines of $f:"
    tail -15 "$f"
  done
}
