#!/usr/bin/env bash
# Makes the README's pictures again: the idle main window, a call in progress, the five tabs of
# the settings window, the About window and the visitor journal with that call, as PNG files in docs/screenshots/.
#
# Usage: scripts/screenshots.sh
#
# The program runs under Xvfb with openbox, beside one simulated panel (panel-sim) that calls
# once and stays in the call. As root everything runs in a network namespace of its own (see
# scripts/private-net.sh), so nothing reaches the machine's network; without root the panel is
# on 127.0.0.2. Each window is captured without its frame (ImageMagick's import on the window),
# and reached as a user would: Ctrl+O for the settings, Ctrl+Tab between the tabs, the ? menu
# for About. Needs xvfb, openbox, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail
source "$(dirname "$0")/private-net.sh" "$@"
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target ostrel-stream panel-sim 2>&1 | tail -n 1

out=docs/screenshots
mkdir -p "$out"
work=$(mktemp -d /tmp/ostrel-shots.XXXXXX)
mkdir -p "$work/config/Halvex" "$work/tmp" "$work/runtime"
chmod 700 "$work/runtime"

if [ -n "${OSTREL_NETNS:-}" ]; then
  host=$ostrel_net_program
  panel=${ostrel_net_panels[0]}
  call_to=$host
else
  host=$(ip -4 -o addr show up scope global | awk '{sub(/\/.*/, "", $4); print $4; exit}')
  panel=127.0.0.2
  call_to=127.0.0.1
fi
panel_sim=build/default/tools/panel-sim/panel-sim
# A stored secret, quoted for the settings file.
secret() { "$panel_sim" scramble "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
cat > "$work/config/Halvex/HalvexStream.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]
"interfaceSelected"="$host"
"platines"="$panel"
"priocheck"=dword:00000001
"SIPID"="100@$host"
"language"="EN"
"SysButtons"=dword:00000001
"APIUsername"="demo"
"APIPassword"="$(secret door)"
"APIAuthtype"=dword:00000002
"codeGache"="$(secret 1234)"
REG

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export DISPLAY=:79
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The id of the window whose title is exactly $1, once it is shown.
window() {
  local id
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "no window named $1" >&2
  exit 1
}
# Captures window $1 into $out/$2.png, small: no metadata, best compression.
shot() {
  sleep 0.7
  import -window "$1" "$work/shot.png"
  convert "$work/shot.png" -strip -define png:compression-level=9 "$out/$2.png"
  echo "$out/$2.png"
}
key() { xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true; xdotool key --clearmodifiers "$2"; }

HOME=$work TMP=$work/tmp XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
  XDG_RUNTIME_DIR=$work/runtime build/default/app/ostrel-stream >"$work/program.log" 2>&1 &
pids+=($!)
main=$(window "Ostrel Stream")
shot "$main" main-idle

settings=$(key "$main" ctrl+o; window Settings)
for tab in call addresses api preferences notifications; do
  shot "$settings" "settings-$tab"
  key "$settings" ctrl+Tab
done
key "$settings" Escape

# The ? menu is the third title of the menu bar; About is its first item.
xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
xdotool mousemove --window "$main" 87 10 click 1
sleep 0.5
xdotool key Down Return
about=$(window About)
shot "$about" about
key "$about" Escape

# A call that lasts: the panel calls at once and hangs up long after the picture is taken.
"$panel_sim" serve --video 8081 --bind "$panel" --size 640x480 --fps 10 --call "$call_to" \
  --every 600 --hangup-after 300 --called "100@$host" --calling "200@$panel" \
  >"$work/panel.log" 2>&1 &
pids+=($!)
sleep 4
shot "$main" main-call

# The call just shown, in the visitor journal (Ctrl+J), with its first picture.
journal=$(key "$main" ctrl+j; window "Visitor journal")
shot "$journal" journal
