#!/usr/bin/env bash
# Live sound: the whole program's CPU while it plays a panel's sound against its idle figure,
# and its resident memory after one minute of playing against the end of the run.
# Usage: bench/live-audio.sh [seconds-per-phase] [minutes-of-playing]   (defaults 60 and 10)
# Starts a private PulseAudio server with a null sink, Xvfb, panel-sim serving its 440 Hz tone
# on 3333, and the program with that panel as its priority one; clicks the listen button with
# xdotool. As root everything runs in a network namespace of its own.
set -euo pipefail
source "$(dirname "$0")/program-env.sh" "$@"
phase=${1:-60}
minutes=${2:-10}
build_program

start_pulse

start_xvfb
"$panelsim" serve --audio 3333 --no-discovery --bind "$panel_address" >"$bench_home/panel.log" 2>&1 &
started+=($!)
write_settings "\"platines\"=\"$panel_address\"" '"priority"=dword:00000000'
start_program
wait_for_main_window
sleep 2

hz=$(getconf CLK_TCK)
measure_cpu() {  # percent of one core over $phase seconds
  local before after
  before=$(cpu_ticks "$program_pid")
  sleep "$phase"
  after=$(cpu_ticks "$program_pid")
  awk -v t=$((after - before)) -v hz="$hz" -v s="$phase" 'BEGIN {printf "%.2f", 100 * t / hz / s}'
}
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$program_pid/status"; }

idle=$(measure_cpu)
# The listen button's middle: (115, 280) of the client area, 24 x 25, under a menu bar of about
# 22 pixels.
xdotool mousemove --window "$window" 127 314 click 1
until grep -q READY "$bench_home/panel.log"; do sleep 0.1; done
sleep 5
playing=$(measure_cpu)
rss_start=$(rss_kib)
sleep $((minutes * 60 > phase + 5 ? minutes * 60 - phase - 5 : 0))
rss_end=$(rss_kib)
echo "CPU idle ${idle} %, playing ${playing} % of one core ($phase s each)"
echo "RSS after $((phase + 5)) s of playing ${rss_start} KiB, after ${minutes} min ${rss_end} KiB"
grep -c "restarting\|disconnected" "$bench_home/tmp/ostrelstream-debug.log" |
  sed 's/^/restarts or disconnects during the run: /'
