#!/usr/bin/env bash
# Start-up benchmark: time from launch to the listener accepting on port 2201, and resident
# memory once idle. Runs the program RUNS times (default 10) under the offscreen platform with
# a home of its own, and prints the median and the range; then the same for the floor, a Qt
# Widgets program that only shows a window and listens on 2201 (bench/StartupFloor.cpp, built
# in build/bench), so that the machine's own cost of starting a Qt program stands apart.
# Usage: bench/startup.sh [runs]   (port 2201 must be free)
#        OSTREL_BUILD=build/x bench/startup.sh   (another build than build/default)
#        OSTREL_BENCH_SMAPS=FILE bench/startup.sh   (keeps the last idle run's /proc/PID/smaps)
# As root it runs in a network namespace of its own (scripts/private-net.sh).
set -euo pipefail
source "$(dirname "$0")/../scripts/private-net.sh" "$@"
cd "$(dirname "$0")/.."
runs=${1:-10}
build=${OSTREL_BUILD:-build/default}
program=$build/app/ostrel-stream
if [ ! -x "$program" ]; then
  [ "$build" = build/default ] || { echo "no program in $build" >&2; exit 1; }
  cmake --preset default >/dev/null && cmake --build --preset default --target ostrel-stream >/dev/null
fi
floor_build=${OSTREL_BENCH_BUILD:-build/bench}
cmake -S . -B "$floor_build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DOSTREL_BENCH=ON -DOSTREL_TESTS=OFF >/dev/null
cmake --build "$floor_build" -j2 --target bench_startup_floor >/dev/null
floor=$floor_build/bench/bench_startup_floor

home=$(mktemp -d /tmp/ostrel-bench.XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config/Halvex" "$home/tmp" "$home/runtime"
chmod 700 "$home/runtime"
host=
[ -z "${OSTREL_NETNS:-}" ] || host=$ostrel_net_program
[ -n "$host" ] || host=$(getent ahostsv4 "$(hostname)" | awk '$1 !~ /^127\./ {print $1; exit}')
[ -n "$host" ] || host=$(ip -4 -o addr show up scope global | awk '{sub(/\/.*/, "", $4); print $4; exit}')
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\r\n"interfaceSelected"="%s"\r\n' \
  "$host" > "$home/config/Halvex/HalvexStream.reg"

if (exec 3<>/dev/tcp/127.0.0.1/2201) 2>/dev/null; then
  echo "port 2201 is already in use here; stop what listens on it first" >&2
  exit 1
fi

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
range() { printf '%s\n' "$@" | sort -n | awk 'NR==1 {lo=$1} {hi=$1} END {print lo" - "hi}'; }

# measure NAME PROGRAM: RUNS launches of PROGRAM, each timed to its first accepted connection
# and measured 3 s later.
measure() {
  local name=$1 program=$2 i start end pid
  local times=() rss=()
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    HOME=$home TMP=$home/tmp XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
      XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=offscreen "$program" 2>/dev/null &
    pid=$!
    until (exec 3<>/dev/tcp/127.0.0.1/2201) 2>/dev/null; do
      kill -0 "$pid" 2>/dev/null || { echo "$name ended early" >&2; exit 1; }
    done
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
    sleep 3
    rss+=($(awk '/^VmRSS/ {print $2}' "/proc/$pid/status"))
    [ -z "${OSTREL_BENCH_SMAPS:-}" ] || [ "$name" != program ] || cat "/proc/$pid/smaps" >"$OSTREL_BENCH_SMAPS"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  done
  printf '%-8s launch to listener accepting: median %d ms (range %s us, %d runs)\n' "$name" \
    $(($(median "${times[@]}") / 1000)) "$(range "${times[@]}")" "$runs"
  printf '%-8s resident memory when idle:    median %d MiB (range %s KiB)\n' "$name" \
    $(($(median "${rss[@]}") / 1024)) "$(range "${rss[@]}")"
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
measure program "$program"
measure floor "$floor"
