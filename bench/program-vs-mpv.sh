#!/usr/bin/env bash
# The whole program showing a 25 fps 1280x720 stream for 30 s under Xvfb, against mpv showing
# the same stream in a 402x258 window, measured in the same run: CPU (% of one core over the
# same 30 s) and peak resident memory of each process.
# Usage: bench/program-vs-mpv.sh [seconds]   (default 30; port 2201 must be free; needs mpv)
# Goal: CPU at most 0.4 x mpv's, peak memory at most 0.45 x mpv's. Builds build/default (or $OSTREL_BUILD).
# With OSTREL_BENCH_SCREENSHOT=FILE.png the screen is saved at the end, to see both windows.
set -euo pipefail
seconds=${1:-30}
"$(dirname "$0")/../scripts/install-deps.sh" bench
source "$(dirname "$0")/program-env.sh"
command -v mpv >/dev/null || { echo "mpv is missing: apt-get install mpv" >&2; exit 1; }
build_program
start_xvfb
write_settings
start_program

# Two panels with the same stream, one per viewer, so that neither viewer slows the other's
# source. Both viewers run at the same time, under the same load.
start_panel_video 1280x720 25
ours_port=$panel_port
start_panel_video 1280x720 25
mpv_port=$panel_port

notify_start "$ours_port" >/dev/null
mpv --no-config --really-quiet --vo=x11 --hwdec=no --no-audio --cache=no --demuxer-max-back-bytes=0 \
  --geometry=402x258+0+500 \
  --title=bench-mpv "http://$panel_address:$mpv_port/?action=streaming" >/dev/null 2>&1 &
mpv_pid=$!
started+=($mpv_pid)
# Let both reach their steady state (connection, first pictures, window mapped).
sleep 3
for pid in "$program_pid" "$mpv_pid"; do
  kill -0 "$pid" 2>/dev/null || { echo "a viewer ended early" >&2; exit 1; }
done

hz=$(getconf CLK_TCK)
ours_before=$(cpu_ticks "$program_pid")
mpv_before=$(cpu_ticks "$mpv_pid")
sleep "$seconds"
ours_cpu=$(($(cpu_ticks "$program_pid") - ours_before))
mpv_cpu=$(($(cpu_ticks "$mpv_pid") - mpv_before))
ours_peak=$(peak_kib "$program_pid")
[ -z "${OSTREL_BENCH_SCREENSHOT:-}" ] || import -window root "$OSTREL_BENCH_SCREENSHOT"
mpv_peak=$(peak_kib "$mpv_pid")

# Whether the program really showed the stream (it logs each stream it starts).
if ! grep -q "Streaming Address: $panel_address" "$bench_home/tmp/ostrelstream-debug.log" 2>/dev/null; then
  echo "warning: the program's log shows no stream start; its figures are those of an idle window" >&2
fi
percent() { awk -v t="$1" -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.1f", 100 * t / hz / s}'; }
echo "over ${seconds} s of a 1280x720 25 fps stream:"
printf '  %-14s CPU %5s %% of one core   peak memory %6d KiB\n' \
  ostrel-stream "$(percent "$ours_cpu")" "$ours_peak" mpv "$(percent "$mpv_cpu")" "$mpv_peak"
awk -v a="$ours_cpu" -v b="$mpv_cpu" -v c="$ours_peak" -v d="$mpv_peak" \
  'BEGIN {printf "  ratio ours/mpv: CPU %.2f, memory %.2f (goal: CPU <= 0.4, memory <= 0.45)\n", (b ? a / b : 0), c / d}'
