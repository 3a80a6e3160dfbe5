#!/usr/bin/env bash
# Checks that the tests run where nothing can leave the machine: no route to
# any address off loopback, and a name that the forest's hosts file lacks
# resolved through that file (nss_wrapper, as samba runs) finds nothing.
# Outside a private network namespace it sends nothing and reports a skip.
#   isolation.sh HOSTS_FILE
set -euo pipefail

hosts=$1
[ -s "$hosts" ] || { echo "isolation: no hosts file $hosts"; exit 1; }
fail=0

# Documentation addresses (RFC 5737) and a public resolver's: none may have a route.
routed=""
for ip in 192.0.2.1 198.51.100.1 9.9.9.9; do
  ip route get "$ip" >/dev/null 2>&1 && routed="$routed $ip"
done
if [ -n "$routed" ]; then
  echo "isolation: SKIPPED: a route leads off loopback (to$routed): not inside a private network namespace"
  exit 77
fi
echo "isolation: no route off loopback"
if timeout 10 bash -c 'exec 3<>/dev/tcp/9.9.9.9/53' 2>/dev/null; then
  echo "isolation: FAILED: a connection to 9.9.9.9:53 was made"; fail=1
else
  echo "isolation: a connection to 9.9.9.9:53 fails"
fi
loopback=$(awk 'NR == 1 { print $1 }' "$hosts")
ip route get "$loopback" >/dev/null 2>&1 || { echo "isolation: FAILED: $loopback is unreachable"; fail=1; }

lookup() {
  LD_PRELOAD=libnss_wrapper.so NSS_WRAPPER_HOSTS=$hosts timeout 20 getent ahosts "$1"
}
known=$(awk 'NR == 1 { print $2 }' "$hosts")
if lookup "$known" | grep -q "^$loopback "; then
  echo "isolation: $known resolves to $loopback through the hosts file"
else
  echo "isolation: FAILED: $known does not resolve through $hosts"; fail=1
fi
for name in dc3.samdom.test example.org; do
  if out=$(lookup "$name"); then
    echo "isolation: FAILED: $name resolved: $out"; fail=1
  else
    echo "isolation: $name resolves nowhere"
  fi
done
exit $fail
