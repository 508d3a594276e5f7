#!/usr/bin/env bash
# The demo: builds qvctl and the program it runs, then plays one whole manipulation cycle
# of the manipulator cell (or, while the cell is not built, one stroke of the bistable
# cylinder) with the plant simulator beside it, and tells what happens cycle by cycle.
# Arguments go to `qvctl demo` (for example --travel 0.5 for faster cylinders).
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v c++ >/dev/null || command -v g++ >/dev/null || need+=(g++)
[[ -f /usr/include/nlohmann/json.hpp ]] || need+=(nlohmann-json3-dev)
if ((${#need[@]})); then
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "Installing ${need[*]}..."
    apt-get update -qq >/dev/null && apt-get install -y -qq "${need[@]}" >/dev/null
  else
    echo "The demo needs ${need[*]} (on Debian: sudo apt-get install ${need[*]})." >&2
    exit 1
  fi
fi

# A build of its own, without the tests and benchmarks (and what they need).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
jobs=$(nproc 2>/dev/null || echo 2)
echo "Building qvctl and the programs in build-demo/ (the first time takes a few minutes)..."
if ! { cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF &&
       cmake --build build-demo -j "$jobs" --target demo_programs; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "The build failed." >&2
  exit 1
fi
echo
build-demo/bin/qvctl demo "$@"
