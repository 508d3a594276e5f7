#!/usr/bin/env bash
# Builds everything and runs every test. With --sanitize, builds in build-asan with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the tests there.
set -euo pipefail
cd "$(dirname "$0")/.."

# What the build and the tests need; installed when missing and we may.
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[[ -f /usr/include/gtest/gtest.h ]] || need+=(libgtest-dev libgmock-dev)
[[ -f /usr/include/benchmark/benchmark.h ]] || need+=(libbenchmark-dev)
command -v pkg-config >/dev/null || need+=(pkg-config)
[[ -f /usr/include/httplib.h ]] || need+=(libcpp-httplib-dev)
[[ -f /usr/include/nlohmann/json.hpp ]] || need+=(nlohmann-json3-dev)
[[ -f /usr/share/javascript/three/three.min.js ]] || need+=(libjs-three)
command -v chromium >/dev/null || need+=(chromium)
command -v chromedriver >/dev/null || need+=(chromium-driver)
/usr/bin/python3 -c "import selenium" 2>/dev/null || need+=(python3-selenium)
/usr/bin/python3 -c "import pytest" 2>/dev/null || need+=(python3-pytest)
[[ -f /usr/include/modbus/modbus.h ]] || need+=(libmodbus-dev)
[[ -f /usr/include/pugixml.hpp ]] || need+=(libpugixml-dev)
/usr/bin/python3 -c "import pymodbus" 2>/dev/null || need+=(python3-pymodbus)
if ((${#need[@]})); then
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "Installing ${need[*]}..."
    apt-get update -qq && apt-get install -y -qq "${need[@]}"
  else
    echo "The tests need ${need[*]} (on Debian: sudo apt-get install ${need[*]})." >&2
    exit 1
  fi
fi

build_dir=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
  build_dir=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON -DQV_BUILD_BENCH=OFF -DQV_WERROR=ON)
fi

# ccache, where it is installed, makes a rebuild in another clone or build folder cheap.
if command -v ccache >/dev/null; then
  options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build_dir" "${options[@]}"
cmake --build "$build_dir" -j "$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 300
