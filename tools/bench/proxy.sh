# The benchmarks' LDAP proxy (tools/ldap-proxy.py), for a script that sources
# this file after setting root:
#   proxy_start LISTEN TARGET LOG [OPTIONS...]   starts it with a fresh LOG
#                                                and returns once it listens
#   proxy_stop                                   stops it again, by its pid
proxy_pid=""
proxy_start() {
  local listen=$1 target=$2 log=$3
  shift 3
  : >"$log"
  python3 "$root/tools/ldap-proxy.py" --listen "$listen" --target "$target" --log "$log" "$@" >>"$log.out" 2>&1 &
  proxy_pid=$!
  until grep -q ' listening on ' "$log"; do
    kill -0 "$proxy_pid" 2>/dev/null || { echo "the proxy did not start:" >&2; cat "$log.out" >&2; return 1; }
    sleep 0.05
  done
}
proxy_stop() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; fi
  proxy_pid=""
}
