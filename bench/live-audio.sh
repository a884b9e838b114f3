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
# Context switches (voluntary + involuntary) and CPU ticks so far of each of the program's
# threads, one "tid name switches ticks" line each: on this kind of machine each wake-up of a
# thread costs more than the work it wakes for.
thread_switches() {
  local task ticks
  for task in /proc/"$program_pid"/task/*; do
    ticks=$(sed 's/.*) //' "$task/stat" 2>/dev/null | awk '{print $12 + $13}') || continue
    awk -v tid="${task##*/}" -v ticks="$ticks" '/^Name:/ {name = $2} /ctxt_switches/ {n += $2}
      END {print tid, name, n, ticks}' "$task/status" 2>/dev/null || true
  done
}

idle=$(measure_cpu)
# The listen button's middle: (115, 280) of the client area, 24 x 25, under a menu bar of about
# 22 pixels.
xdotool mousemove --window "$window" 127 314 click 1
until grep -q READY "$bench_home/panel.log"; do sleep 0.1; done
sleep 5
switches_before=$(thread_switches)
playing=$(measure_cpu)
switches_after=$(thread_switches)
rss_start=$(rss_kib)
sleep $((minutes * 60 > phase + 5 ? minutes * 60 - phase - 5 : 0))
rss_end=$(rss_kib)
echo "CPU idle ${idle} %, playing ${playing} % of one core ($phase s each)"
echo "Wake-ups per second and CPU (% of one core) while playing, by thread (busiest first):"
join -o 1.1,1.2,1.3,2.3,1.4,2.4 <(sort <<<"$switches_before") <(sort <<<"$switches_after") |
  awk -v s="$phase" -v hz="$hz" '{r = ($4 - $3) / s; c = 100 * ($6 - $5) / hz / s; total += r
      cpu += c; if (r >= 1 || c > 0) printf "  %-16s %6.1f %6.2f\n", $2, r, c}
    END {printf "  %-16s %6.1f %6.2f\n", "all", total, cpu}' | sort -k2 -rn
echo "RSS after $((phase + 5)) s of playing ${rss_start} KiB, after ${minutes} min ${rss_end} KiB"
grep -c "restarting\|disconnected\|dropped" "$bench_home/tmp/ostrelstream-debug.log" |
  sed 's/^/restarts, disconnects or drops during the run: /'
