#!/bin/bash
# Builds the reassembly fuzz target with clang (preset `fuzz`, build/fuzz) and
# runs it for SECONDS (default 60) on the corpus in build/fuzz/corpus. A
# finding stops the run and leaves its input in build/fuzz/findings.
# Usage: tests/fuzz/run.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
seconds=${1:-60}
scripts/deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null
mkdir -p build/fuzz/corpus build/fuzz/findings
build/fuzz/tests/fuzz/hx_reassembly_fuzz -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/ build/fuzz/corpus 2>&1 | grep -E "^(stat::|Done|==|SUMMARY)"
