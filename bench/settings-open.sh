#!/usr/bin/env bash
# Opening the settings window, Ctrl+O to the window painted, under the offscreen platform.
# Usage: bench/settings-open.sh [Google Benchmark options...]
# Builds the `bench` preset's target first (build/bench, or $OSTREL_BENCH_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${OSTREL_BENCH_BUILD:-build/bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DOSTREL_BENCH=ON -DOSTREL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_settings_open >"$build/settings-open-build.log" 2>&1 ||
  { tail -n 30 "$build/settings-open-build.log"; exit 1; }
"$build/bench/bench_settings_open" "$@"
