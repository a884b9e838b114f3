#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for a while. Usage: scripts/fuzz.sh [seconds per target, default 60] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
scripts/install-deps.sh
targets=("$@")
if ((${#targets[@]} == 0)); then
  for src in fuzz/*_fuzz.cpp; do targets+=("$(basename "${src%.cpp}")"); done
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}" 2>&1 | tail -n 1
export QT_QPA_PLATFORM=offscreen
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus-$t
  mkdir -p "$corpus"
  echo "== $t for ${seconds}s"
  status=0
  "build/fuzz/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/$t-" "$corpus" >"build/fuzz/$t.log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' "build/fuzz/$t.log" || true
  if [ "$status" -ne 0 ]; then
    echo "$t found a problem; see build/fuzz/$t.log and build/fuzz/$t-*" >&2
    exit "$status"
  fi
done
