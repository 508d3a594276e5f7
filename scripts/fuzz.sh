#!/usr/bin/env bash
# Builds the fuzz targets with Clang and libFuzzer in build-fuzz and runs each for
# SECONDS (default 30) over a copy of its seed corpus, printing the executions per second.
# A crash stops the script with status 1; its input is left in build-fuzz/crashes/<target>/
# to be fixed and then kept in tests/fuzz/corpus/<target>/ as a regression case.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

# Clang 14 and its libFuzzer runtime, installed when missing and we may.
need=()
command -v clang++ >/dev/null || need+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null || need+=(libclang-rt-14-dev)
if ((${#need[@]})); then
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "Installing ${need[*]}..."
    apt-get update -qq && apt-get install -y -qq "${need[@]}"
  else
    echo "Fuzzing needs ${need[*]} (on Debian: sudo apt-get install ${need[*]})." >&2
    exit 1
  fi
fi

build_dir=build-fuzz
jobs=$(nproc 2>/dev/null || echo 2)
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DQV_FUZZ=ON -DQV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j "$jobs" --target fuzz_targets

status=0
while read -r name seeds; do
  work="$build_dir/corpus/$name"
  crashes="$build_dir/crashes/$name"
  rm -rf "$work" "$crashes"
  mkdir -p "$work" "$crashes"
  log="$build_dir/fuzz_$name.log"
  # Each seed must pass on its own first (the crash inputs kept in the corpus are regression cases).
  if ! "$build_dir/bin/fuzz_$name" "$seeds"/* >"$log.seeds" 2>&1; then
    echo "fuzz_$name: a corpus input fails (see $log.seeds)"
    status=1
    continue
  fi
  # Standard error of the target is closed: the reader's own messages would swamp the log.
  "$build_dir/bin/fuzz_$name" -max_total_time="$seconds" -close_fd_mask=2 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$work" "$seeds" >"$log" 2>&1 &
  pid=$!
  if wait $pid; then
    result=ok
  else
    result="CRASH (inputs in $crashes, log in $log)"
    status=1
    rm -f /dev/shm/qvt_*_"${pid}"_*  # the images a crashed target could not remove
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  echo "fuzz_$name: ${runs:-?} runs in ${seconds} s, ${rate:-?} exec/s, corpus $(ls "$work" | wc -l) inputs: $result"
done <"$build_dir/fuzz_targets.txt"
exit $status
