#!/usr/bin/env bash
# Checks the SDK as a model writer uses it: installs the runtime into a temporary prefix,
# builds examples/sdk_model against it with find_package, runs the model and drives it
# with the installed qvctl. Takes the build directory to install from (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
prefix=$(mktemp -d)
image="qv_sdk_$$"
trap 'rm -rf "$prefix"; rm -f "/dev/shm/$image"' EXIT
jobs=$(nproc 2>/dev/null || echo 2)

[[ -f "$build/CMakeCache.txt" ]] ||
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target \
  qv_runtime_r1 qv_runtime_r2 qv_runtime_r3 qv_main_r1 qv_main_r2 qv_main_r3 qvctl >/dev/null
cmake --install "$build" --prefix "$prefix/sdk" >/dev/null

cmake -S examples/sdk_model -B "$prefix/model" -DCMAKE_PREFIX_PATH="$prefix/sdk" >/dev/null
cmake --build "$prefix/model" -j "$jobs" >/dev/null

# Run the model (it ends by itself after 10 s in STOP if anything below goes wrong).
QV_MEMORY_NAME=$image QV_TIMEOUT=10 "$prefix/model/sdk_model" >"$prefix/console.txt" 2>&1 &
model=$!
qvctl="$prefix/sdk/bin/qvctl --name $image"
for _ in $(seq 100); do
  grep -q "to STOP" "$prefix/console.txt" 2>/dev/null && break
  sleep 0.05
done
$qvctl set B5 TRUE >/dev/null
$qvctl step 12 >/dev/null
flashes=$($qvctl get I524)
$qvctl end >/dev/null
wait "$model"
if [[ "$flashes" != "I524 = 2" ]]; then
  echo "check-sdk: the example model gave \"$flashes\" after 12 cycles, not \"I524 = 2\"" >&2
  cat "$prefix/console.txt" >&2
  exit 1
fi
echo "check-sdk: the example model built against the installed SDK runs (12 cycles, 2 flashes)"
