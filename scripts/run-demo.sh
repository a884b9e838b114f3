#!/usr/bin/env bash
# Builds Ostrel Stream and runs it beside simulated panels that call every 20 seconds and hang
# up 12 seconds later: the call comes in, the panel's video comes up, the call ends. Each panel
# also serves its API with Digest credentials, so the relay button opens its "door": the
# request shows in the demo folder's api-ADDRESS.log (strike code 1234). Each panel also
# serves a 440 Hz tone on its audio port 3333 for the listen button.
# Without a display, the window runs under Xvfb and a screenshot is refreshed every 2 s in
# the demo folder. Stop with Ctrl+C.
#
# As root the demo gets a small network of its own in a network namespace (see
# scripts/private-net.sh): the program on one address and two panels on others, which answer
# its discovery (the LED lights) and call 5 s apart, so that the second caller lands on the wait
# list. Nothing reaches the machine's network. Without root it runs on this machine's network
# with one panel on 127.0.0.2, as it always did.
set -euo pipefail
source "$(dirname "$0")/private-net.sh" "$@"
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target ostrel-stream panel-sim 2>&1 | tail -n 1

demo=$(mktemp -d /tmp/ostrel-demo.XXXXXX)
mkdir -p "$demo/config/Halvex" "$demo/tmp" "$demo/runtime"
chmod 700 "$demo/runtime"

if [ -n "${OSTREL_NETNS:-}" ]; then
  host=$ostrel_net_program
  panels=("${ostrel_net_panels[@]}")
else
  # The address the program will announce: its own name's, else its first interface's.
  # Choosing it in the settings keeps start-up from asking which interface to use.
  host=$(getent ahostsv4 "$(hostname)" | awk '$1 !~ /^127\./ {print $1; exit}')
  if [ -z "$host" ]; then
    host=$(ip -4 -o addr show up scope global | awk '{sub(/\/.*/, "", $4); print $4; exit}')
  fi
  if [ -z "$host" ]; then
    echo "This machine has no network address; Ostrel Stream needs one." >&2
    exit 1
  fi
  panels=(127.0.0.2)
fi
platines=$(IFS=';'; echo "${panels[*]}")
panel_sim=build/default/tools/panel-sim/panel-sim
# A stored secret, quoted for the settings file.
secret() { "$panel_sim" scramble "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
# A panel's API is on port 80; without root that needs unprivileged low ports.
api=yes
if [ -z "${OSTREL_NETNS:-}" ] &&
  [ "$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start 2>/dev/null || echo 1024)" -gt 80 ]; then
  api=
  echo "Not root: the panel cannot serve its API on port 80, so the relay button reaches nothing." >&2
fi
cat > "$demo/config/Halvex/HalvexStream.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]
"interfaceSelected"="$host"
"platines"="$platines"
"language"="EN"
"warningOnCall"=dword:00000001
"codeGache"="$(secret 1234)"
"APIUsername"="demo"
"APIPassword"="$(secret door)"
"APIAuthtype"=dword:00000002
"APIMethod"=dword:00000000
"APISSL"=dword:00000000
REG

pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=:77
  sleep 1
  ( while sleep 2; do import -window root "$demo/screen.png" 2>/dev/null; done ) &
  pids+=($!)
  echo "No display: the window runs under Xvfb; look at $demo/screen.png"
fi

HOME=$demo TMP=$demo/tmp XDG_CONFIG_HOME=$demo/config XDG_DATA_HOME=$demo/data \
  XDG_RUNTIME_DIR=$demo/runtime build/default/app/ostrel-stream &
program=$!
pids+=($program)
sleep 2
if [ -z "${OSTREL_NETNS:-}" ]; then call_to=127.0.0.1; else call_to=$host; fi
for i in "${!panels[@]}"; do
  panel=${panels[$i]}
  ((i == 0)) || sleep 5
  api_args=()
  [ -z "$api" ] || api_args=(--api 80 --auth digest --requests "$demo/api-$panel.log")
  "$panel_sim" serve --video 8081 --audio 3333 --bind "$panel" --size 640x480 \
    --fps 15 --login demo --password door --call "$call_to" --every 20 --hangup-after 12 \
    --called "100@$host" --calling "200@$panel" "${api_args[@]}" >"$demo/panel-$panel.log" 2>&1 &
  pids+=($!)
done
echo "Ostrel Stream is running (log: $demo/tmp/ostrelstream-debug.log, panels:" \
  "$demo/panel-*.log, relay requests: $demo/api-*.log). Ctrl+C ends the demo."
wait "$program"
