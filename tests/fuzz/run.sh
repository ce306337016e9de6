#!/bin/bash
# Builds the libFuzzer targets with clang (preset `fuzz`, build/fuzz) and runs
# each for SECONDS (default 60) on its corpus in build/fuzz/corpus/<target>,
# seeded from tests/fuzz/seeds/<target> and guided by tests/fuzz/<target>.dict
# where those exist. A finding stops that target and leaves its input in
# build/fuzz/findings/<target>-*. Prints per target its executions, exec/s and
# coverage (libFuzzer's cov: edges and ft: features), ends with
# "N passed, N failed". With HX_REPORT_DIR set, writes fuzz-<target>.json
# there for the benchmark report.
# FUZZ_TARGETS (names, space-separated) picks targets; FUZZ_RUNS stops each
# target after that many executions (SECONDS stays the cap).
# Usage: tests/fuzz/run.sh [SECONDS]        (long run: FUZZ_RUNS=10000000 tests/fuzz/run.sh 1800)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
seconds=${1:-60}
read -r -a targets <<<"${FUZZ_TARGETS:-reassembly_fuzz dicos_message_fuzz registry_search_fuzz sysfs_search_fuzz smbios_match_fuzz}"
if [ -z "${HX_FUZZ_NO_BUILD:-}" ]; then
  scripts/deps.sh fuzz || exit 1
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)" >/tmp/hx_fuzz_build.log 2>&1 ||
    { tail -n 40 /tmp/hx_fuzz_build.log; echo "0 passed, ${#targets[@]} failed"; exit 1; }
fi
passed=0
failed=0
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$t findings=build/fuzz/findings log=build/fuzz/$t.log
  mkdir -p "$corpus" "$findings"
  # libFuzzer gives up when its first inputs reach no instrumented code (the
  # empty input reaches none in the library): a fresh corpus starts with bytes.
  [ -z "$(ls -A "$corpus")" ] && printf '\x23\x35\x00\x00\xff\xff\x56\x40\x41\x01\x02\x03\x04\x05\x06\x07' >"$corpus/seed"
  # No leak check: the library allocates nothing (the heap stage proves it),
  # and the fakes' reused containers made libFuzzer rerun inputs to look for
  # leaks. The searches' inputs stay at 1 KiB: a key or file name of 300
  # characters fits, and larger inputs only nest the enumeration deeper
  # (a fifth of the speed, no new coverage).
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -detect_leaks=0 -artifact_prefix="$findings/$t-")
  case $t in registry_search_fuzz | sysfs_search_fuzz) args+=(-max_len=1024) ;; esac
  [ -n "${FUZZ_RUNS:-}" ] && args+=(-runs="$FUZZ_RUNS")
  [ -f "tests/fuzz/$t.dict" ] && args+=(-dict="tests/fuzz/$t.dict")
  seeds=()
  [ -d "tests/fuzz/seeds/$t" ] && seeds=("tests/fuzz/seeds/$t")
  before=$(ls "$findings" | grep -c "^$t-" || true)
  "build/fuzz/tests/fuzz/hx_$t" "${args[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1
  status=$?
  after=$(ls "$findings" | grep -c "^$t-" || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  last=$(grep -a -E "cov: [0-9]+" "$log" | tail -n1)
  cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
  corp=$(echo "$last" | sed -n 's/.*corp: \([0-9]*\).*/\1/p')
  found=$((after - before))
  [ "$status" -ne 0 ] && [ "$found" -eq 0 ] && found=1
  if [ "$found" -eq 0 ]; then passed=$((passed + 1)); verdict=ok; else failed=$((failed + 1)); verdict=FINDING; fi
  printf '%-22s %s: %s executions, %s exec/s, cov %s edges, ft %s, corpus %s\n' \
    "$t" "$verdict" "${runs:-0}" "${rate:-0}" "${cov:-0}" "${ft:-0}" "${corp:-0}"
  [ "$found" -ne 0 ] && grep -a -E "^==[0-9]+==|^SUMMARY|Test unit written" "$log" | head -n 5
  if [ -n "${HX_REPORT_DIR:-}" ]; then
    mkdir -p "$HX_REPORT_DIR"
    printf '{"id": "fuzz-%s", "title": "libFuzzer: %s", "family": "fuzzing",\n "command": "FUZZ_RUNS=%s tests/fuzz/run.sh %s",\n "findings": %d,\n "rows": [\n  {"measure": "executions", "value": %d, "unit": "runs", "goal": ">= 10000000"},\n  {"measure": "exec/s", "value": %d, "unit": "runs/s"},\n  {"measure": "coverage edges", "value": %d, "unit": "edges"},\n  {"measure": "features", "value": %d, "unit": "features"},\n  {"measure": "corpus size", "value": %d, "unit": "inputs"},\n  {"measure": "findings", "value": %d, "unit": "inputs", "bound": 0, "ok": %s}\n ]}\n' \
      "$t" "$t" "${FUZZ_RUNS:-}" "$seconds" "$found" "${runs:-0}" "${rate:-0}" "${cov:-0}" "${ft:-0}" "${corp:-0}" "$found" \
      "$([ "$found" -eq 0 ] && echo true || echo false)" >"$HX_REPORT_DIR/fuzz-$t.json"
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
