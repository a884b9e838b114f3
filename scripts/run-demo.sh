#!/usr/bin/env bash
# Builds Ostrel Stream and runs it beside a simulated panel that calls every 20 seconds and
# hangs up 12 seconds later: the call comes in, the panel's video comes up, the call ends.
# Without a display, the window runs under Xvfb and a screenshot is refreshed every 2 s in
# the demo folder. Stop with Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target ostrel-stream panel-sim 2>&1 | tail -n 1

demo=$(mktemp -d /tmp/ostrel-demo.XXXXXX)
mkdir -p "$demo/config/Halvex" "$demo/tmp" "$demo/runtime"
chmod 700 "$demo/runtime"

# The address the program will announce: its own name's, else its first interface's. Choosing
# it in the settings keeps start-up from asking which interface to use.
host=$(getent ahostsv4 "$(hostname)" | awk '$1 !~ /^127\./ {print $1; exit}')
if [ -z "$host" ]; then
  host=$(ip -4 -o addr show up scope global | awk '{sub(/\/.*/, "", $4); print $4; exit}')
fi
if [ -z "$host" ]; then
  echo "This machine has no network address; Ostrel Stream needs one." >&2
  exit 1
fi
cat > "$demo/config/Halvex/HalvexStream.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]
"interfaceSelected"="$host"
"platines"="127.0.0.2"
"language"="EN"
REG

pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT INT TERM

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
pids+=($!)
sleep 2
build/default/tools/panel-sim/panel-sim serve --video 8081 --bind 127.0.0.2 --size 640x480 \
  --fps 15 --login demo --password door --discovery --call 127.0.0.1 --every 20 --hangup-after 12 \
  --called "100@$host" --calling "200@127.0.0.2" &
pids+=($!)
echo "Ostrel Stream is running (log: $demo/tmp/ostrelstream-debug.log). Ctrl+C ends the demo."
wait "${pids[-2]}"
