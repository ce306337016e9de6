#!/bin/bash
# No heap allocation inside the library after load. Builds the heap-count variant (preset `heap`,
# build/heap: the library objects as libhx_counted.so), runs the whole unit suite (ctest, one process
# per test) with the allocation counter preloaded (tests/heap/alloc_counter.cpp says what it counts),
# then reads the counter's records: every process of the suite, its children included, must have made
# 0 library allocations after load. The counter's own self-test runs as a ctest of tests/heap.
# Counts ctest's tests, plus one for the verdict. Ends with "N passed, N failed".
# The per-export figures (P7): build/heap/bench/hx_heap_bench [--rounds N], after this script.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
jobs=$(nproc)
build=$root/build/heap
records=$build/heap-records
passed=0
failed=0

count_ctest() {  # adds the counts of a ctest log to the totals
  local total fails
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$1" | tail -n1)
  fails=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$1" | tail -n1)
  if [ -z "$total" ]; then failed=$((failed + 1)); return; fi
  passed=$((passed + total - fails)); failed=$((failed + fails))
}

if ! { cmake --preset heap >/dev/null && cmake --build --preset heap -j"$jobs" >"$build.log" 2>&1; }; then
  tail -n 40 "$build.log"; echo "build failed: heap"; echo "0 passed, 1 failed"; exit 1
fi

rm -rf "$records" && mkdir -p "$records"
log=$(mktemp)
# The counter's self-test allocates in the library on purpose and checks its own counts: no records.
for dir in tests/unit tests/heap; do
  [ "$dir" = tests/unit ] && export HX_HEAP_DIR=$records || unset HX_HEAP_DIR
  LD_PRELOAD=$build/tests/heap/libhx_alloc_counter.so ctest --test-dir "$build/$dir" -j"$jobs" --output-on-failure >"$log" 2>&1
  grep -E "tests passed|tests failed|\*\*\*Failed|\*\*\*Timeout|Not Run" "$log"
  count_ctest "$log"
done

# The verdict: the library's objects are in libhx_counted.so only (else the counter could not see
# them), the counter ran in the unit test processes, and no process allocated in the library.
verdict=ok
if nm -C --defined-only "$build/tests/unit/hx_unit_tests" | grep -q ' hx::ProcessAttach()'; then
  echo "hx_unit_tests links its own copy of the library objects"; verdict=failed
fi
processes=$(cat "$records"/*.txt | grep -c '^exit .*hx_unit_tests')
echo "unit test processes counted: $processes"
[ "$processes" -gt 0 ] || verdict=failed
awk '/^exit/ { for (i = 2; i <= 4; i++) { split($i, kv, "="); sum[kv[1]] += kv[2] } }
     END { printf "library allocations after load: %d; at load/unload: %d; thread vectors: %d\n",
           sum["library"], sum["load"], sum["thread"] }' "$records"/*.txt
offenders=$(grep -l '^library ' "$records"/*.txt)
if [ -n "$offenders" ]; then
  verdict=failed
  echo "processes that allocated in the library after load: $(echo "$offenders" | wc -l) (the first 5, two stacks each:)"
  for f in $(echo "$offenders" | head -n 5); do
    echo "--- $(grep -m1 '^exit' "$f" || echo "process $(basename "$f" .txt), ended without exit")"
    awk '/^library/ { n++ } n <= 2' "$f" | grep -v '^exit' | head -n 40
  done
fi
echo "heap verdict: $verdict"
if [ "$verdict" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
rm -f "$log"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
