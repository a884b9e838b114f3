#!/usr/bin/env bash
# The video benchmarks that run inside one process: UI-thread CPU per displayed frame against
# ffmpeg, the receiving thread's CPU per frame, and decodes against paints.
# Usage: bench/video.sh [Google Benchmark options...]
#   e.g. bench/video.sh --benchmark_filter=DisplayedFrame
# Builds the `bench` preset's targets first (build/bench, or $OSTREL_BENCH_BUILD). Needs ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh bench
build=${OSTREL_BENCH_BUILD:-build/bench}
# The program ships built at -O2 (RelWithDebInfo), so the benchmarks measure that code
# generation rather than -O3's.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DOSTREL_BENCH=ON -DOSTREL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_video_paint bench_mjpeg_receive >/dev/null
"$build/bench/bench_video_paint" "$@"
"$build/bench/bench_mjpeg_receive" "$@"
