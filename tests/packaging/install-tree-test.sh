#!/usr/bin/env bash
# Installs this build into a temporary DESTDIR and checks what landed there.
set -euo pipefail
build=$1
source=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
"$source/scripts/check-install-tree.sh" "$dest/usr"
