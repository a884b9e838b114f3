# Sourced first thing by the scripts that run the whole program (the demo, the whole-program
# benchmarks), before any cd, with the script's arguments:
#
#   source "$(dirname "$0")/../scripts/private-net.sh" "$@"
#
# The program broadcasts discovery on the interfaces it uses. As root, the sourcing script is
# run again inside a network namespace of its own, so that nothing it starts reaches the
# machine's network, and the namespace and everything left in it are removed when it ends,
# Ctrl+C included. The namespace holds lo and one veth pair: ostrel0 with the program's address,
# ostrel1 with the panels' addresses. Inside, OSTREL_NETNS names the namespace. Without root
# nothing changes: the script goes on as before, on the machine's own network.

ostrel_net_program=10.234.0.1
ostrel_net_panels=(10.234.0.2 10.234.0.3)

if [ "$(id -u)" -eq 0 ] && [ -z "${OSTREL_NETNS:-}" ]; then
  ostrel_net_script=$(realpath "$0")
  ostrel_net_ns=ostrel-net-$$
  ostrel_net_cleanup() {
    local pids
    pids=$(ip netns pids "$ostrel_net_ns" 2>/dev/null || true)
    if [ -n "$pids" ]; then
      kill $pids 2>/dev/null || true
      sleep 1
      pids=$(ip netns pids "$ostrel_net_ns" 2>/dev/null || true)
      [ -z "$pids" ] || kill -9 $pids 2>/dev/null || true
    fi
    ip netns del "$ostrel_net_ns" 2>/dev/null || true
  }
  trap ostrel_net_cleanup EXIT
  ip netns add "$ostrel_net_ns"
  ip -n "$ostrel_net_ns" link set lo up
  ip -n "$ostrel_net_ns" link add ostrel0 type veth peer name ostrel1
  ip -n "$ostrel_net_ns" addr add "$ostrel_net_program/24" dev ostrel0
  for ostrel_net_address in "${ostrel_net_panels[@]}"; do
    ip -n "$ostrel_net_ns" addr add "$ostrel_net_address/24" dev ostrel1
  done
  ip -n "$ostrel_net_ns" link set ostrel0 up
  ip -n "$ostrel_net_ns" link set ostrel1 up
  echo "Running in the network namespace $ostrel_net_ns (program $ostrel_net_program," \
    "panels ${ostrel_net_panels[*]})" >&2
  # In the background so that a signal to this shell is handed on at once, rather than after
  # the script ends by itself.
  OSTREL_NETNS=$ostrel_net_ns ip netns exec "$ostrel_net_ns" "$ostrel_net_script" "$@" &
  ostrel_net_child=$!
  trap 'kill -TERM "$ostrel_net_child" 2>/dev/null || true; wait "$ostrel_net_child"; exit 130' \
    INT TERM
  ostrel_net_status=0
  wait "$ostrel_net_child" || ostrel_net_status=$?
  exit "$ostrel_net_status"
fi
