#!/usr/bin/env bash
# Builds the fuzz tree, makes the seed corpora and runs every fuzz target.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#   SECONDS  per target (default 60); TARGET  names without "fuzz_" (default all)
# Environment: FUZZ_RUNS=N also stops a target after N executions;
#              FUZZ_NO_BUILD=1 skips the build, FUZZ_NO_SEEDS=1 the seed step.
# Corpora grow in build-fuzz/corpus/<target>/, crashes land in
# build-fuzz/crashes/<target>/, logs in build-fuzz/fuzz-logs/. The exit status
# is non-zero when any target crashed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
out=build-fuzz
[ "${FUZZ_NO_BUILD:-0}" = 1 ] || scripts/build.sh fuzz
[ "${FUZZ_NO_SEEDS:-0}" = 1 ] || scripts/fuzz-seeds.sh

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for bin in "$out"/fuzz/fuzz_*; do
    [ -x "$bin" ] && targets+=("$(basename "$bin" | sed 's/^fuzz_//')")
  done
fi

# No allocation stacks on long runs: the fast unwinder meets uninstrumented
# libraries (jsoncpp, OpenSSL) without frame pointers and files ever new
# stacks, which grows the process past the RSS limit. A crash is replayed
# with the defaults (see fuzz/README.md) to see them.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:malloc_context_size=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$out/fuzz-logs"
crashed=0
printf '%-20s %12s %8s  %s\n' target executions seconds result
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t" crashes="$out/crashes/$t" log="$out/fuzz-logs/$t.log"
  mkdir -p "$corpus" "$crashes"
  seeds=()
  [ -d "fuzz/seeds/$t" ] && seeds+=("fuzz/seeds/$t")
  [ -d "$out/seeds/$t" ] && seeds+=("$out/seeds/$t")
  start=$(date +%s)
  rc=0
  nice -n 10 "$out/fuzz/fuzz_$t" -max_total_time="$seconds" ${FUZZ_RUNS:+-runs="$FUZZ_RUNS"} \
    -rss_limit_mb=2048 -timeout=10 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" ${seeds[@]+"${seeds[@]}"} > "$log" 2>&1 || rc=$?
  took=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  result=ok
  if [ "$rc" -ne 0 ]; then
    crashed=1
    result="CRASH (exit $rc): $(grep -m1 -E 'ERROR|SUMMARY|deadly signal|Test unit written' "$log" || true)"
    result+=" $(ls -t "$crashes" | head -1)"
  fi
  printf '%-20s %12s %8s  %s\n' "$t" "${execs:-?}" "$took" "$result"
done
exit $crashed
