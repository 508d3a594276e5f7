#!/usr/bin/env bash
# Checks the SDK as a model writer uses it: installs it into a temporary prefix from a
# build directory (default: build; configured without tests and benchmarks when it does
# not exist yet), builds the two example models against it with find_package(qv), runs
# each and drives it with the installed qvctl by the names its table declares; then builds
# the Structured Text conveyor twice, with qv_add_iec_program in a CMake project and with
# the installed qvc directly, and plays its scripted supervisor on each with that qvctl.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
prefix=$(mktemp -d)
image="qv_sdk_$$"
trap 'rm -rf "$prefix"; rm -f "/dev/shm/$image"' EXIT
jobs=$(nproc 2>/dev/null || echo 2)

[[ -f "$build/CMakeCache.txt" ]] ||
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target qv_sdk >/dev/null
cmake --install "$build" --prefix "$prefix/sdk" >/dev/null
qvctl="$prefix/sdk/bin/qvctl --name $image"

fail() {
  echo "check-sdk: $1" >&2
  [[ -f "$prefix/console.txt" ]] && cat "$prefix/console.txt" >&2
  exit 1
}

# Builds examples/<model> against the installed package and starts it on the image; it
# ends by itself after 10 s in STOP if anything below goes wrong.
start() {
  local model=$1
  cmake -S "examples/$model" -B "$prefix/$model" -DCMAKE_PREFIX_PATH="$prefix/sdk" >/dev/null
  cmake --build "$prefix/$model" -j "$jobs" >/dev/null
  [[ -f "$prefix/$model/$model.symbols.json" ]] || fail "$model.symbols.json was not written beside $model"
  QV_MEMORY_NAME=$image QV_TIMEOUT=10 "$prefix/$model/$model" >"$prefix/console.txt" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    grep -q "to STOP" "$prefix/console.txt" 2>/dev/null && return
    sleep 0.05
  done
  fail "$model did not come up"
}

finish() {
  $qvctl end >/dev/null
  wait "$pid"
  $qvctl remove >/dev/null
}

# The lamp: 12 cycles with Run set flash it twice (every 4 cycles a change).
start sdk_model
$qvctl set Run TRUE >/dev/null
$qvctl step 12 >/dev/null
flashes=$($qvctl get Flashes)
finish
[[ "$flashes" == "Flashes = 2" ]] || fail "the lamp gave \"$flashes\" after 12 cycles, not \"Flashes = 2\""

# The sorting line: a box after 40 cycles, a tray with its part after 80.
start sorting_line
$qvctl set simuperiod 2000 >/dev/null
vars=$($qvctl vars)
grep -q "^created .*I523 .*DINT .*output" <<<"$vars" || fail "qvctl vars does not name the sorting line's counters"
$qvctl step 85 >/dev/null
created=$($qvctl get created)
finish
[[ "$created" == "created = 3" ]] || fail "the sorting line gave \"$created\" after 85 cycles, not \"created = 3\""

# The conveyor in Structured Text, from the package's qv_add_iec_program and from bin/qvc.
cmake -S examples/iec -B "$prefix/iec" -DCMAKE_PREFIX_PATH="$prefix/sdk" >/dev/null
cmake --build "$prefix/iec" -j "$jobs" --target iec_conveyor >/dev/null
[[ -f "$prefix/iec/iec_conveyor.symbols.json" ]] || fail "iec_conveyor.symbols.json was not written beside iec_conveyor"
examples/iec/play.sh "$prefix/iec/iec_conveyor" "$prefix/sdk/bin/qvctl" examples/iec/conveyor.scenario ||
  fail "the conveyor built with qv_add_iec_program did not play its scenario"
mkdir "$prefix/qvc"
source=$PWD/examples/iec/conveyor.st
(cd "$prefix/qvc" && "$prefix/sdk/bin/qvc" build "$source" -o conveyor) ||
  fail "the installed qvc did not build the conveyor"
examples/iec/play.sh "$prefix/qvc/conveyor" "$prefix/sdk/bin/qvctl" examples/iec/conveyor.scenario ||
  fail "the conveyor built with the installed qvc did not play its scenario"

# A PLCopen project (a drawn chart driving an FBD block) through the package's qv_add_iec_program.
cmake -S examples/plcopen -B "$prefix/plcopen" -DCMAKE_PREFIX_PATH="$prefix/sdk" >/dev/null
cmake --build "$prefix/plcopen" -j "$jobs" --target plc_motor >/dev/null
examples/iec/play.sh "$prefix/plcopen/plc_motor" "$prefix/sdk/bin/qvctl" examples/plcopen/motor.scenario ||
  fail "the PLCopen motor project built with qv_add_iec_program did not play its scenario"

echo "check-sdk: both example models, the Structured Text conveyor and a PLCopen project build against the installed SDK and answer qvctl by name"
