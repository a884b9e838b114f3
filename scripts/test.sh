#!/usr/bin/env bash
# Builds everything and runs every test through ctest (unit, sockets, windows offscreen, the
# whole program against panel-sim in network namespaces, ffmpeg as a real peer).
# Usage: scripts/test.sh [preset]   (default: "default"; "asan" runs the suite under
# AddressSanitizer + UndefinedBehaviorSanitizer; "tsan" runs the tests of the threaded parts
# under ThreadSanitizer: the parts built on Qt's own locking are left out, since ThreadSanitizer
# cannot see inside Qt)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" 2>&1 | tail -n 3
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
if [ "$preset" = asan ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
if [ "$preset" = tsan ]; then
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
fi
ctest --preset "$preset" --output-on-failure -j2
