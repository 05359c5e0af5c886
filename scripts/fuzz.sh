#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build dir $1, default build-fuzz) and runs
# each for FUZZ_SECONDS (default 60) on a copy of its seed corpus. Fails on any crash,
# leak, timeout or out-of-memory. FUZZ_TARGETS picks targets (default: all),
# FUZZ_JOBS runs that many targets at once (default 1), FUZZ_KEEP keeps the work
# folder (grown corpora, logs, crashing inputs) for inspection.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
JOBS=${FUZZ_JOBS:-1}
TARGETS=${FUZZ_TARGETS:-"settings_loader edit_parsers record_reader index_reader accumulate_samples driver_code14 brask_garbage tolv_garbage sim_requests"}

declare -A MAX_LEN=([settings_loader]=8192 [edit_parsers]=256 [record_reader]=4096 [index_reader]=4096 [accumulate_samples]=8192
                    [driver_code14]=16384 [brask_garbage]=4096 [tolv_garbage]=4096 [sim_requests]=4096)

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DROLLMODE_FUZZ=ON -DROLLMODE_GUI=OFF -DROLLMODE_BENCH=OFF -DROLLMODE_WERROR=OFF >/dev/null
cmake --build "$BUILD" --target rollmode_fuzz -j "${FUZZ_BUILD_JOBS:-2}"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/rollmode-fuzz.XXXXXX")
[ -n "${FUZZ_KEEP:-}" ] || trap 'rm -rf "$WORK"' EXIT

run_one() {
  local t=$1 dir="$WORK/$1"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp fuzz/corpus/"$t"/* "$dir/corpus/"
  local rc=0 TIMEFORMAT='%3U %3S'
  { time nice "$BUILD/bin/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
      -max_len="${MAX_LEN[$t]}" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
      "$dir/corpus" >"$dir/log" 2>&1; } 2>"$dir/cpu" || rc=$?
  local runs secs cpu
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  secs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  # Executions per second of CPU time: the rate on a core of its own, whatever else runs.
  cpu=$(awk -v n="${runs:-0}" '{ t = $1 + $2; printf "%.0f", (t > 0 ? n / t : 0) }' "$dir/cpu")
  if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$dir/artifacts")" ]; then
    echo "FAIL $t (exit $rc): $(ls "$dir/artifacts" | tr '\n' ' ')"
    grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$dir/log" | head -20
    mkdir -p "$BUILD/artifacts"
    for a in "$dir"/artifacts/*; do [ -e "$a" ] && cp "$a" "$BUILD/artifacts/$t-$(basename "$a")"; done
    return 1
  fi
  printf '%-20s %12s executions %8s exec/s %8s exec/cpu-s %6s corpus\n' "$t" "${runs:-?}" "${secs:-?}" \
    "$cpu" "$(ls "$dir/corpus" | wc -l)"
}

failed=0
pids=()
names=()
for t in $TARGETS; do
  run_one "$t" >"$WORK/$t.summary" 2>&1 &
  pids+=($!)
  names+=("$t")
  if [ "${#pids[@]}" -ge "$JOBS" ]; then
    wait "${pids[0]}" || failed=1
    cat "$WORK/${names[0]}.summary"
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || failed=1
  cat "$WORK/${names[$i]}.summary"
done
if [ "$failed" -ne 0 ]; then
  echo "fuzzing found failures; the inputs are in $BUILD/artifacts (rerun: $BUILD/bin/fuzz_<target> <input>)"
  exit 1
fi
echo "fuzzing: no crash, leak or timeout"
