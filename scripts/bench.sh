#!/usr/bin/env bash
# Reproduces the figures of docs/performance.md from a fresh clone: a Release build in
# build-rel/, every benchmark program with 9 repetitions (medians reported), then, with
# --cells, the cells-per-machine scale (scripts/cells_scale.sh). Results go to
# bench-results/ (one .txt and one .json per program). The cycle body qvc generates is set
# beside the same logic written on the SDK (bench_iec_cycle_qvc_r3 / bench_iec_cycle_sdk_r3),
# and without its statements' breakpoint checks (bench_iec_cycle_unchecked_r3).
#
#   scripts/bench.sh [--cells] [--filter REGEX]
set -euo pipefail
cd "$(dirname "$0")/.."

cells=0
filter=.
while (($#)); do
  case $1 in
    --cells) cells=1; shift ;;
    --filter) filter=$2; shift 2 ;;
    *) echo "usage: scripts/bench.sh [--cells] [--filter REGEX]" >&2; exit 2 ;;
  esac
done

# What the build needs; the oriented-box reference (libfcl-dev) is measured beside the
# contact test when it is installed.
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[[ -f /usr/include/gtest/gtest.h ]] || need+=(libgtest-dev libgmock-dev)
[[ -f /usr/include/benchmark/benchmark.h ]] || need+=(libbenchmark-dev)
[[ -f /usr/include/fcl/math/bv/OBB.h ]] || need+=(libfcl-dev)
if ((${#need[@]})); then
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "Installing ${need[*]}..."
    apt-get update -qq && apt-get install -y -qq "${need[@]}"
  else
    echo "The benchmarks need ${need[*]} (on Debian: sudo apt-get install ${need[*]})." >&2
    exit 1
  fi
fi

programs=(bench_stdlib_r3 bench_stdlib_strings_r3 bench_geometry_r3 bench_products_r1 bench_products_r3
          bench_executive_r1 bench_executive_r2 bench_executive_r3
          bench_qvc_r3 bench_iec_cycle_qvc_r3 bench_iec_cycle_sdk_r3 bench_iec_cycle_unchecked_r3)
jobs=$(nproc 2>/dev/null || echo 2)
# The benchmarks use the test scene and support libraries, hence the tests' configuration.
# GCC 12 at -O3 reports a false -Wrestrict in qvctl; it stays a warning in this build.
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=ON -DCMAKE_CXX_FLAGS=-Wno-error=restrict >/dev/null
cmake --build build-rel -j "$jobs" --target "${programs[@]}" test_model_r1 test_model_r2 test_model_r3 manipulateur qvctl

mkdir -p bench-results
{
  echo "date: $(date -u +%FT%TZ)"
  echo "commit: $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
  echo "memory: $(awk '/MemTotal/ {print $2 " kB"}' /proc/meminfo)"
  echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "compiler: $(g++ --version | head -1)"
} | tee bench-results/machine.txt

for p in "${programs[@]}"; do
  echo "== $p"
  build-rel/bin/"$p" --benchmark_filter="$filter" --benchmark_repetitions=9 --benchmark_report_aggregates_only=true \
    --benchmark_out=bench-results/"$p".json --benchmark_out_format=json | tee bench-results/"$p".txt | grep -E "median|error" || true
done

# The generated cycle body against the SDK's: the ratio of the CPU-time medians.
if [[ -f bench-results/bench_iec_cycle_qvc_r3.json && -f bench-results/bench_iec_cycle_sdk_r3.json &&
      -f bench-results/bench_iec_cycle_unchecked_r3.json ]]; then
  python3 - <<'EOF'
import json
def medians(path):
    runs = json.load(open(path))["benchmarks"]
    return {r["run_name"]: r["cpu_time"] for r in runs if r.get("aggregate_name") == "median"}
qvc = medians("bench-results/bench_iec_cycle_qvc_r3.json")
sdk = medians("bench-results/bench_iec_cycle_sdk_r3.json")
for name in sorted(qvc.keys() & sdk.keys()):
    print(f"== {name}: qvc {qvc[name]:.0f} ns, SDK {sdk[name]:.0f} ns, ratio {qvc[name] / sdk[name]:.2f}")
unchecked = medians("bench-results/bench_iec_cycle_unchecked_r3.json").get("BM_Cycle")
if unchecked and "BM_Cycle" in sdk:
    print(f"== BM_Cycle without the statement checks: {unchecked:.0f} ns, ratio {unchecked / sdk['BM_Cycle']:.2f}")
EOF
fi

if ((cells)); then
  echo "== cells per machine"
  scripts/cells_scale.sh --build build-rel | tee bench-results/cells_scale.txt
fi
