#!/usr/bin/env bash
# Makes the Debian package ostrel-stream_<version>_amd64.deb (the program and panel-sim) in
# dist/, then checks it (scripts/check-package.sh).
# Usage: scripts/package.sh [BUILD_DIR [OUT_DIR]]
#   BUILD_DIR defaults to build/package, a Release build made here with the default compiler
#   and without the tests; an existing build folder (build/default in CI) is packaged as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${1:-build/package}
out=$(realpath -m "${2:-dist}")
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 2>&1 | tail -n 1
mkdir -p "$out"
rm -f "$out"/ostrel-stream_*.deb
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
deb=$(ls "$out"/ostrel-stream_*_amd64.deb)
scripts/check-package.sh "$deb"
echo "$deb"
