#!/usr/bin/env bash
# Call-to-picture: from the simulated panel sending "start" to the program painting the first
# frame of the stream, median of CALLS calls (default 20) on loopback, under Xvfb; first with a
# panel that sends a frame as soon as the stream is asked for, then with one that sends only on
# its next frame tick (panel-sim --frame-clock, as many cameras do), whose wait is taken out.
# Usage: bench/call-to-picture.sh [calls]   (port 2201 must be free)
#        OSTREL_JOURNAL=off bench/call-to-picture.sh [calls]
# Goal: median at most 10 ms; with the frame clock, at most 10 ms beyond the wait; with the
# visitor journal within 1 ms of the figure without it (OSTREL_JOURNAL=off: a folder stands where
# its file belongs, so the program runs with no journal at all and says so once, in a box that
# stays open meanwhile).
#
# The figures come from timing marks that the program and panel-sim write to stderr when built
# with -DOSTREL_TIMING=ON (base/TimingMark.h; the shipped build has none). Both read the same
# CLOCK_MONOTONIC, so panel-sim's "notification-sent" and the program's marks compare directly:
# the notification read on 2201, the stream's request sent, its reply header read, the first
# frame read, and the paint of the video area that showed it. The build goes to build/timing
# (or $OSTREL_BUILD).
set -euo pipefail
calls=${1:-20}
export OSTREL_BUILD=${OSTREL_BUILD:-build/timing}
source "$(dirname "$0")/program-env.sh"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_TIMING=ON \
  -DOSTREL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target ostrel-stream panel-sim >/dev/null
start_xvfb
write_settings
journal_mode=${OSTREL_JOURNAL:-on}
if [ "$journal_mode" = off ]; then
  mkdir -p "$bench_home/data/Halvex/Ostrel_Stream/journal.sqlite"
fi
start_program
out=$bench_home/program.out

# The time of the first mark NAME at or after byte OFFSET of FILE (after the time AFTER, if
# given), in ns; empty when there is none yet.
mark() {
  tail -c +"$(($2 + 1))" "$1" |
    awk -v n="$3" -v after="${4:-0}" '$1 == "ostrel-timing" && $2 == n && $3 >= after {print $3; exit}'
}

# One series of calls against the panel on PORT whose output is in PANEL_LOG; prints one line
# per call, in ns: total, notification sent -> read, read -> request sent, request -> reply
# header read, reply header -> the panel starts its first frame (its set-up, and its frame
# clock's wait if it keeps one), the panel's encoding of that frame, its sending, the frame's
# last byte sent -> read by the program, frame read -> painted, and the panel's logged wait for
# its frame tick (0 without a frame clock).
run_calls() {
  local port=$1 panel_log=$2
  local i offset notify_offset panel_offset sent read req rep frame painted t0
  local p_start p_encoded p_sent wait_us
  for ((i = 1; i <= calls; i++)); do
    offset=$(stat -c %s "$out")
    notify_offset=$(stat -c %s "$bench_home/notify.log" 2>/dev/null || echo 0)
    panel_offset=$(stat -c %s "$panel_log")
    notify_start "$port" >/dev/null
    t0=$SECONDS
    painted=
    until [ -n "$painted" ]; do
      frame=$(mark "$out" "$offset" frame-read)
      [ -z "$frame" ] || painted=$(mark "$out" "$offset" picture-painted "$frame")
      [ -n "$painted" ] || sleep 0.01
      ((SECONDS - t0 < 10)) || { echo "call $i: no picture within 10 s" >&2; exit 1; }
    done
    sent=$(mark "$bench_home/notify.log" "$notify_offset" notification-sent)
    read=$(mark "$out" "$offset" notification-read)
    req=$(mark "$out" "$offset" request-sent)
    rep=$(mark "$out" "$offset" reply-header-read)
    p_start=$(mark "$panel_log" "$panel_offset" first-frame-start)
    p_encoded=$(mark "$panel_log" "$panel_offset" first-frame-encoded)
    p_sent=$(mark "$panel_log" "$panel_offset" first-frame-sent)
    wait_us=$(tail -c +"$((panel_offset + 1))" "$panel_log" |
      sed -n 's/.* waits \([0-9]*\) us for the next frame tick/\1/p' | head -n 1)
    echo "$((painted - sent)) $((read - sent)) $((req - read)) $((rep - req))" \
      "$((p_start - rep)) $((p_encoded - p_start)) $((p_sent - p_encoded)) $((frame - p_sent))" \
      "$((painted - frame)) $((${wait_us:-0} * 1000))"
    notify_stop >/dev/null
    # Let the stop be handled and the connection close before the next call.
    sleep 0.5
  done
}

# Medians of each column; with OSTREL_BENCH_RAW=1 each call's line (ms) as well.
report() {
  awk -v title="$1" -v raw="${OSTREL_BENCH_RAW:-}" '
    { for (i = 1; i <= 10; i++) v[i, NR] = $i; v[11, NR] = $1 - $10; n = NR
      if (raw != "") { printf "  call %2d:", NR; for (i = 1; i <= 10; i++) printf " %.2f", $i / 1e6; printf "\n" } }
    function median(col,   a, i, k, t) {
      for (i = 1; i <= n; i++) a[i] = v[col, i]
      for (i = 2; i <= n; i++) { t = a[i]; for (k = i - 1; k >= 1 && a[k] > t; k--) a[k + 1] = a[k]; a[k + 1] = t }
      return a[int((n + 1) / 2)] / 1e6
    }
    END {
      printf "%s, %d calls:\n", title, n
      printf "  call to first picture: median %.2f ms\n", median(1)
      if (median(10) > 0) printf "  the panel'\''s wait for its frame tick: median %.2f ms; beyond it: median %.2f ms\n", median(10), median(11)
      printf "  parts (medians, ms): notification sent -> read %.2f, read -> request sent %.2f, request -> reply header %.2f,\n", median(2), median(3), median(4)
      printf "    reply header -> panel starts the frame %.2f, panel encodes it %.2f, panel sends it %.2f, sent -> read by the program %.2f,\n", median(5), median(6), median(7), median(8)
      printf "    frame read -> painted %.2f\n", median(9)
    }'
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
start_panel_video 1280x720 25
run_calls "$panel_port" "$panel_log" | report "a panel that sends a frame at once (1280x720, 25 fps; journal $journal_mode)"

# The same with a panel that keeps its own frame clock.
start_panel_video 1280x720 25 --frame-clock
run_calls "$panel_port" "$panel_log" | report "a panel that sends only on its next frame tick (1280x720, 25 fps)"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
