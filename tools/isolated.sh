#!/usr/bin/env bash
# Runs a command in a private network namespace in which only loopback is up
# (unshare -n), so that nothing the tests or the demo start (Samba tooling,
# Wine, the forests) can send a packet off this machine. Where unshare is
# refused, says so and runs the command as it is.
#   isolated.sh COMMAND [ARGS...]
# The command sees SCHEMA_MODIFY_ISOLATED=1 (or =0 when unshare was refused).
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: isolated.sh COMMAND [ARGS...]" >&2; exit 2; }
if [ "${SCHEMA_MODIFY_ISOLATED:-}" = 1 ]; then
  exec "$@"
fi
if unshare -n true 2>/dev/null; then
  SCHEMA_MODIFY_ISOLATED=1 exec unshare -n bash -c 'ip link set lo up && exec "$@"' isolated "$@"
fi
echo "isolated: unshare -n was refused here (it needs root or user namespaces): running WITHOUT a" \
  "private network namespace; Samba tooling may then send DNS queries off this machine" >&2
SCHEMA_MODIFY_ISOLATED=0 exec "$@"
