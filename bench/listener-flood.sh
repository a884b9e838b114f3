#!/usr/bin/env bash
# Listener flood benchmark: the whole program (default build, offscreen) in a network namespace of
# its own, with 250 idle connections open on port 2201, receives 1,000 malformed messages per
# second for SECONDS (default 60) while a simulated panel announces itself ("ntmy") every half
# second. Prints the program's resident memory before and after the flood (and its peak during
# it), the worst and median time for the panel's answer, and whether the program is still alive.
# Goals: RSS at most 10 MB above its start, every "ntmy" answered within 1 s, no crash.
# Usage: bench/listener-flood.sh [seconds]   (root: the namespace keeps all traffic inside)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${OSTREL_BUILD:-build/default}
program=$build/app/ostrel-stream
panelsim=$build/tools/panel-sim/panel-sim

[ "$(id -u)" -eq 0 ] || { echo "needs root: the program runs in a network namespace of its own" >&2; exit 1; }
cmake --preset default >/dev/null
cmake --build "$build" -j2 --target ostrel-stream panel-sim >/dev/null

home=$(mktemp -d /tmp/ostrel-flood.XXXXXX)
ns=ostrel-flood-$$
subnet=$((1 + $$ % 250))
address=10.232.$subnet.1
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Besides loopback, the namespace holds a veth pair with both ends inside it: the program has an
# address to use, and its discovery broadcasts never leave the namespace.
ip netns add "$ns"
ip -n "$ns" link set lo up
ip -n "$ns" link add eth0 type veth peer name eth1
ip -n "$ns" addr add "$address/24" dev eth0
ip -n "$ns" link set eth1 up
ip -n "$ns" link set eth0 up

mkdir -p "$home/config/Halvex" "$home/tmp" "$home/runtime"
chmod 700 "$home/runtime"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\r\n"interfaceSelected"="%s"\r\n' \
  "$address" >"$home/config/Halvex/HalvexStream.reg"

in_ns() { ip netns exec "$ns" "$@"; }
accepting() { in_ns bash -c '(exec 3<>/dev/tcp/127.0.0.1/2201) 2>/dev/null'; }

HOME=$home TMP=$home/tmp XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
  XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=offscreen \
  ip netns exec "$ns" "$program" >"$home/program.out" 2>&1 &
program_pid=$!
until accepting; do
  kill -0 "$program_pid" 2>/dev/null || { echo "the program ended early: $(cat "$home/program.out")" >&2; exit 1; }
  sleep 0.05
done
sleep 2
rss() { awk '/^VmRSS/ {print $2}' "/proc/$program_pid/status"; }
# `ip netns exec` execs the program, so the pid is the program's own.
rss_start=$(rss)

peak=$rss_start
(
  while kill -0 "$program_pid" 2>/dev/null; do
    r=$(rss 2>/dev/null || echo 0)
    [ "${r:-0}" -gt "$peak" ] && peak=$r && echo "$peak" >"$home/peak"
    sleep 0.2
  done
) &
sampler=$!

summary=$(in_ns python3 bench/listener_flood.py --seconds "$seconds" --panel-sim "$panelsim")
sleep 2
if kill -0 "$program_pid" 2>/dev/null; then alive=yes; rss_end=$(rss); else alive=no; rss_end=0; fi
kill "$sampler" 2>/dev/null || true
wait "$sampler" 2>/dev/null || true
[ -f "$home/peak" ] && peak=$(cat "$home/peak")

echo "flood for $seconds s: $summary"
echo "program alive: $alive"
echo "RSS start $((rss_start / 1024)) MiB ($rss_start KiB), end $((rss_end / 1024)) MiB ($rss_end KiB)," \
  "peak $((peak / 1024)) MiB; growth $(((rss_end - rss_start) / 1024)) MiB (goal <= 10 MB)"
echo "history file: $(wc -c <"$home/tmp/ostrelstream-debug.log") bytes (reset at 512 KiB)"
