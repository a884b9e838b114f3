#!/usr/bin/env bash
# Makes the Debian package of this build in a temporary folder and checks it.
set -euo pipefail
build=$1
source=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
"$source/scripts/check-package.sh" "$out"/ostrel-stream_*_amd64.deb
