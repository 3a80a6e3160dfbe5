#!/usr/bin/env bash
# Runs a command in private network and PID namespaces. Only loopback is up
# (unshare -n), so that nothing the tests or the demo start (Samba tooling,
# Wine, the forests) can send a packet off this machine; and every process of
# the run, daemons in sessions of their own included (samba -D, Wine's
# services), ends with it, whether it ends by itself, by Ctrl-C, or by
# SIGTERM or SIGKILL to this script or its process group. Where unshare is
# refused, says so and runs the command as it is.
#   isolated.sh COMMAND [ARGS...]
# The command sees SCHEMA_MODIFY_ISOLATED=1 (or =0 when unshare was refused).
# SCHEMA_MODIFY_KEEP_RUNNING=1 leaves the PID namespace out, for a command
# that leaves a daemon running on purpose (tools/demo.sh --keep-forest).
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: isolated.sh COMMAND [ARGS...]" >&2; exit 2; }
if [ "${SCHEMA_MODIFY_ISOLATED:-}" = 1 ]; then
  exec "$@"
fi
if [ "${SCHEMA_MODIFY_KEEP_RUNNING:-}" = 1 ] && unshare -n true 2>/dev/null; then
  SCHEMA_MODIFY_ISOLATED=1 exec unshare -n bash -c 'ip link set lo up && exec "$@"' isolated "$@"
fi
# The kernel ends every process of a PID namespace when its first process
# ends, which SIGKILL to the forking unshare brings about (--kill-child).
# unshare ignores TERM and INT: this script takes them, and its own end ends
# unshare (--pdeathsig). The first process keeps waiting for the command
# rather than becoming it, and gives it back the signals that bash ignores
# in a command that it runs in the background (INT, QUIT).
if unshare -n -p -f --kill-child --mount-proc true 2>/dev/null; then
  SCHEMA_MODIFY_ISOLATED=1 setpriv --pdeathsig KILL unshare -n -p -f --kill-child --mount-proc bash -c '
    ip link set lo up || exit
    env --default-signal=INT,QUIT "$@" <&0 &
    wait $!' isolated "$@" <&0 &
  run=$!
  trap 'kill -KILL $run; exit 143' TERM INT HUP
  wait $run
  exit
fi
echo "isolated: unshare was refused here (it needs root or user namespaces): running WITHOUT a" \
  "private network namespace; Samba tooling may then send DNS queries off this machine" >&2
SCHEMA_MODIFY_ISOLATED=0 exec "$@"
