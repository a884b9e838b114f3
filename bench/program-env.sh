# Shared by the whole-program benchmarks (sourced, not run): builds the program and panel-sim,
# starts Xvfb, makes a home of the program's own with a settings file, and starts and stops the
# program and simulated panels. Everything started is ended by the EXIT trap. As root the whole
# benchmark (Xvfb, the program, the panels, the viewers) runs in a network namespace of its own,
# so that the program's discovery broadcasts stay there.

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/private-net.sh" "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${OSTREL_BUILD:-build/default}
program=$build/app/ostrel-stream
panelsim=$build/tools/panel-sim/panel-sim
# The simulated panels' own loopback address, so that the program sees them as another host.
panel_address=127.0.0.2

build_program() {
  [ -z "${OSTREL_NO_BUILD:-}" ] || return 0
  if [ "$build" = build/default ]; then
    cmake --preset default >/dev/null
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" -j2 --target ostrel-stream panel-sim >/dev/null
}

started=()
bench_home=$(mktemp -d /tmp/ostrel-bench.XXXXXX)
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$bench_home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits until the program's main window is shown on the Xvfb screen; sets window to its id.
wait_for_main_window() {
  window=
  until [ -n "$window" ]; do
    sleep 0.2
    window=$(xdotool search --onlyvisible --name '^Ostrel Stream$' 2>/dev/null | head -n 1 || true)
  done
}

# A private PulseAudio server with a null sink "nul", whose monitor holds what was played; sets
# PULSE_SERVER and pulse_dir, and stops the server on exit.
pulse() { HOME=$pulse_dir XDG_RUNTIME_DIR=$pulse_dir pulseaudio "$@"; }
start_pulse() {
  pulse_dir=$(mktemp -d /tmp/ostrel-pulse.XXXXXX)
  pulse --daemonize=yes --exit-idle-time=-1 --disallow-exit -n \
    --load="module-null-sink sink_name=nul" --load=module-native-protocol-unix \
    --log-target=file:"$pulse_dir/pulse.log"
  export PULSE_SERVER=unix:$pulse_dir/pulse/native
  trap 'pulse --kill 2>/dev/null || true; rm -rf "$pulse_dir"; cleanup' EXIT
}

# Xvfb on the first free display number from 90; sets DISPLAY.
start_xvfb() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  started+=($!)
  export DISPLAY=:$n
  until [ -e "/tmp/.X11-unix/X$n" ]; do
    kill -0 "${started[-1]}" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.05
  done
}

# The settings file: the interface to use (so start-up asks nothing), then any extra
# "name"=value lines given as arguments.
write_settings() {
  local host=
  [ -z "${OSTREL_NETNS:-}" ] || host=$ostrel_net_program
  [ -n "$host" ] || host=$(getent ahostsv4 "$(hostname)" | awk '$1 !~ /^127\./ {print $1; exit}')
  [ -n "$host" ] || host=$(ip -4 -o addr show up scope global | awk '{sub(/\/.*/, "", $4); print $4; exit}')
  [ -n "$host" ] || { echo "this machine has no network address; the program needs one" >&2; exit 1; }
  mkdir -p "$bench_home/config/Halvex" "$bench_home/tmp" "$bench_home/runtime"
  chmod 700 "$bench_home/runtime"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\r\n'
    printf '"interfaceSelected"="%s"\r\n' "$host"
    local line
    for line in "$@"; do printf '%s\r\n' "$line"; done
  } >"$bench_home/config/Halvex/HalvexStream.reg"
}

# Starts the program and waits until it accepts notifications on 2201; sets program_pid.
start_program() {
  if (exec 3<>/dev/tcp/127.0.0.1/2201) 2>/dev/null; then
    echo "port 2201 is in use: another copy of the program is running" >&2
    exit 1
  fi
  HOME=$bench_home TMP=$bench_home/tmp XDG_CONFIG_HOME=$bench_home/config \
    XDG_DATA_HOME=$bench_home/data XDG_RUNTIME_DIR=$bench_home/runtime "$program" \
    >"$bench_home/program.out" 2>&1 &
  program_pid=$!
  started+=($program_pid)
  until (exec 3<>/dev/tcp/127.0.0.1/2201) 2>/dev/null; do
    kill -0 "$program_pid" 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
    sleep 0.05
  done
}

# Starts a simulated panel serving video on a free port; sets panel_pid, panel_port and
# panel_log (its output). Arguments: WxH FPS [more panel-sim serve options].
start_panel_video() {
  local log=$bench_home/panel-$RANDOM.log
  panel_log=$log
  "$panelsim" serve --video 0 --bind "$panel_address" --size "$1" --fps "$2" "${@:3}" >"$log" 2>&1 &
  panel_pid=$!
  started+=($panel_pid)
  panel_port=
  until [ -n "$panel_port" ]; do
    kill -0 "$panel_pid" 2>/dev/null || { echo "panel-sim did not start: $(cat "$log")" >&2; exit 1; }
    sleep 0.05
    panel_port=$(sed -n 's/^video: listening on [0-9.]*:\([0-9]*\).*/\1/p' "$log" | head -n 1)
  done
}

# The panel calls (start) or hangs up (stop). What notify sent is kept in a log, shown only
# when it fails.
notify() {
  "$panelsim" notify --to 127.0.0.1 --from "$panel_address" "$@" 2>>"$bench_home/notify.log" ||
    { cat "$bench_home/notify.log" >&2; return 1; }
}
notify_start() { notify start l p "$1"; }
notify_stop() { notify stop; }

# CPU time (user + system) of a process so far, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Peak resident memory of a process so far, in KiB.
peak_kib() { awk '/^VmHWM/ {print $2}' "/proc/$1/status"; }
