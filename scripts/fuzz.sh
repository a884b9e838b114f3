#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer, -O1: at -O0
# the decoder's and Digest's targets ran 6 to 8 times slower) and runs
# each, starting from its committed corpus (fuzz/corpus/NAME); afterwards the corpus is
# minimised (libFuzzer's -merge) back into fuzz/corpus/NAME, which ctest replays.
# Usage: scripts/fuzz.sh [SECONDS | --runs N] [target...]
#   SECONDS per target (default 60), or --runs N inputs per target (the long check: 10000000)
set -euo pipefail
cd "$(dirname "$0")/.."
limit=(-max_total_time=60)
if [ "${1:-}" = --runs ]; then
  limit=(-runs="$2")
  shift 2
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  limit=(-max_total_time="$1")
  shift
fi
scripts/install-deps.sh
targets=("$@")
if ((${#targets[@]} == 0)); then
  for src in fuzz/*_fuzz.cpp; do targets+=("$(basename "${src%.cpp}")"); done
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}" 2>&1 | tail -n 1
export QT_QPA_PLATFORM=offscreen
for t in "${targets[@]}"; do
  kept=fuzz/corpus/$t
  work=build/fuzz/corpus-$t
  mkdir -p "$kept" "$work"
  echo "== $t (${limit[*]})"
  status=0
  "build/fuzz/fuzz/$t" "${limit[@]}" -print_final_stats=1 -artifact_prefix="build/fuzz/$t-" \
    "$work" "$kept" >"build/fuzz/$t.log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY' "build/fuzz/$t.log" || true
  if [ "$status" -ne 0 ]; then
    echo "$t found a problem; see build/fuzz/$t.log and build/fuzz/$t-*" >&2
    exit "$status"
  fi
  # Keep only the inputs that add coverage.
  minimised=build/fuzz/min-$t
  rm -rf "$minimised" && mkdir -p "$minimised"
  "build/fuzz/fuzz/$t" -merge=1 "$minimised" "$kept" "$work" >"build/fuzz/$t-merge.log" 2>&1
  # Inputs kept under a name of their own are findings that were fixed: they stay as they are.
  find "$kept" -maxdepth 1 -type f -regextype posix-extended ! -regex '.*/[0-9a-f]{40}' \
    -exec cp {} "$minimised" \;
  rm -rf "$kept" && mv "$minimised" "$kept"
  echo "   corpus: $(ls "$kept" | wc -l) files, $(du -sk "$kept" | cut -f1) KiB in $kept"
done
