#!/usr/bin/env bash
# Installs what building, running and testing Ostrel Stream need (Debian 12, as root).
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev libgl-dev libqt6sql6-sqlite
  libturbojpeg0-dev libcurl4-openssl-dev libssl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  curl apache2 pulseaudio pulseaudio-utils sox dbus
  lintian desktop-file-utils appstream librsvg2-bin dpkg-dev
  xvfb xauth x11-apps x11-utils xdotool openbox imagemagick ffmpeg iproute2 procps fonts-dejavu-core
)
# The benchmarks also compare with a real viewer; the listener flood is driven from Python.
if [ "${1:-}" = bench ]; then
  packages+=(mpv python3)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
