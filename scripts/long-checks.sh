#!/usr/bin/env bash
# The long safety checks, run before a release rather than in every CI run:
#   - every libFuzzer target for 10 million inputs (or N: scripts/long-checks.sh N), its corpus
#     minimised back into fuzz/corpus/ for ctest to replay;
#   - the kill-during-save tests for 1,000 rounds each (ctest kills 60 times).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10000000}
scripts/fuzz.sh --runs "$runs"
cmake --preset default >/dev/null
cmake --build --preset default 2>&1 | tail -n 1
export QT_QPA_PLATFORM=offscreen
# Run by the test program itself, not through ctest: a thousand rounds outlast the five minutes
# ctest gives a test (the journal's alone takes longer), and its --timeout does not lift that.
OSTREL_CRASH_ROUNDS=1000 build/default/tests/platform/test_platform \
  --gtest_filter='*.AProcessKilledMid*'
