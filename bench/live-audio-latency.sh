#!/usr/bin/env bash
# Live sound's added latency: from panel-sim sending a click after silence to the click in the
# null sink's monitor, median over N clicks (default 20), the program against pacat at its
# low-latency setting fed the same panel's stream on the same server, in the same run.
# Usage: bench/live-audio-latency.sh [clicks]
#        OSTREL_BENCH_FLOOR=1 bench/live-audio-latency.sh   (the clicks over a faint tone, as a
#        microphone hears a quiet room, rather than over digital silence, which an output may skip)
# Starts a private PulseAudio server with a null sink, Xvfb, `panel-sim serve --audio 3333
# --audio-clicks 1000` and the program with that panel as its priority one; the measuring is
# bench/live_audio_latency.py's. As root everything runs in a network namespace of its own.
set -euo pipefail
source "$(dirname "$0")/program-env.sh" "$@"
clicks=${1:-20}
build_program

start_pulse

start_xvfb
floor=()
[ -z "${OSTREL_BENCH_FLOOR:-}" ] || floor=(--audio-floor)
"$panelsim" serve --audio 3333 --audio-clicks 1000 "${floor[@]}" --no-discovery \
  --bind "$panel_address" >"$bench_home/panel.log" 2>&1 &
started+=($!)
write_settings "\"platines\"=\"$panel_address\"" '"priority"=dword:00000000'
start_program
wait_for_main_window
sleep 2
python3 "$(dirname "$0")/live_audio_latency.py" --panel "$panel_address:3333" \
  --panel-log "$bench_home/panel.log" --window "$window" --clicks "$clicks"
grep -c "restarting\|disconnected\|dropped" "$bench_home/tmp/ostrelstream-debug.log" |
  sed 's/^/restarts, disconnects or drops in the program: /' || true
