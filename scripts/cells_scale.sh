#!/usr/bin/env bash
# Many cells on one machine: starts N manipulator cells, each program on an image of its
# own with its plant (`qvctl plant`) beside it, runs them at their 50 ms period for a
# while, and reports for each N the mean period error, the overrun warnings, the CPU per
# cell per cycle and the memory per cell. Stops at the first N whose mean period error
# is above 1% or that printed an overrun warning; the N before it is the answer.
#
#   scripts/cells_scale.sh [--build DIR] [--seconds S] [--all] [N...]   (default N: 1 2 4 8 16 32 64)
#
# --all measures every N even past the first that fails (on a machine shared with other
# work a single preemption longer than a period already prints a warning).
#
# The programs and qvctl come from DIR/bin (build-rel: a Release build, see scripts/bench.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-rel
seconds=20
all=0
counts=()
while (($#)); do
  case $1 in
    --build) build=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --all) all=1; shift ;;
    *) counts+=("$1"); shift ;;
  esac
done
((${#counts[@]})) || counts=(1 2 4 8 16 32 64)
program=$build/bin/manipulateur
qvctl=$build/bin/qvctl
for f in "$program" "$qvctl"; do
  [[ -x $f ]] || { echo "$f is not built (cmake --build $build --target manipulateur qvctl)" >&2; exit 1; }
done
program=$(realpath "$program")
qvctl=$(realpath "$qvctl")
ticks=$(getconf CLK_TCK)
work=$(mktemp -d)
prefix="qv_cells_$$"

pids=()
images=()
cleanup() {
  for image in "${images[@]}"; do "$qvctl" --name "$image" end >/dev/null 2>&1 || true; done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for image in "${images[@]}"; do "$qvctl" --name "$image" remove >/dev/null 2>&1 || true; done
  pids=()
  images=()
}
trap 'cleanup; rm -rf "$work"' EXIT

# utime + stime of a process, in clock ticks.
cpu() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
# Proportional set size in kB (the shared image counted once across its users).
pss() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
cycle() { "$qvctl" --name "$1" status 2>/dev/null | awk '$1 == "cycle" {print $2}'; }
now() { date +%s.%N; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%6s %12s %10s %10s %14s %14s %8s\n' cells "period ms" "error %" warnings "CPU us/cycle" "PSS kB/cell" "load"
best=0
for n in "${counts[@]}"; do
  programs=()
  plants=()
  for ((k = 0; k < n; ++k)); do
    image="${prefix}_$k"
    dir="$work/$image"
    mkdir -p "$dir"
    ln -sf "$program" "$dir/manipulateur"
    images+=("$image")
    (cd "$dir" && exec env QV_MEMORY_NAME="$image" QV_TIMEOUT=600 ./manipulateur >console.txt 2>&1) &
    programs+=($!)
    pids+=($!)
  done
  # Each program idles in STOP until it is told to run; the plant is wired once it is up.
  for ((k = 0; k < n; ++k)); do
    for _ in $(seq 100); do [[ -n $(cycle "${images[k]}") ]] && break; sleep 0.05; done
    "$qvctl" --name "${images[k]}" plant --quiet >"$work/${images[k]}/plant.txt" 2>&1 &
    plants+=($!)
    pids+=($!)
  done
  for ((k = 0; k < n; ++k)); do
    "$qvctl" --name "${images[k]}" run >/dev/null
    "$qvctl" --name "${images[k]}" set DCY TRUE >/dev/null 2>&1 || true
  done
  sleep 2  # settle

  declare -a c0 t0 cpu0 lines0
  for ((k = 0; k < n; ++k)); do
    t0[k]=$(now)
    c0[k]=$(cycle "${images[k]}")
    lines0[k]=$(wc -l <"$work/${images[k]}/console.txt")
    cpu0[k]=$(($(cpu "${programs[k]}") + $(cpu "${plants[k]}")))
  done
  sleep "$seconds"
  cycles=0
  elapsed=0
  cputicks=0
  memory=0
  for ((k = 0; k < n; ++k)); do
    t1=$(now)
    c1=$(cycle "${images[k]}")
    cycles=$((cycles + c1 - c0[k]))
    elapsed=$(awk -v a="$elapsed" -v t0="${t0[k]}" -v t1="$t1" 'BEGIN {printf "%.6f", a + t1 - t0}')
    cputicks=$((cputicks + $(cpu "${programs[k]}") + $(cpu "${plants[k]}") - cpu0[k]))
    memory=$((memory + $(pss "${programs[k]}") + $(pss "${plants[k]}")))
  done
  # Warnings printed while measuring (the first cycles after RUN may count the wait in STOP).
  warnings=0
  for ((k = 0; k < n; ++k)); do
    w=$(tail -n +"$((lines0[k] + 1))" "$work/${images[k]}/console.txt" | grep -c "Warning: Cycle duration" || true)
    warnings=$((warnings + w))
  done
  load=$(cut -d' ' -f1 /proc/loadavg)
  # The mean period: every cell's time between its two readings over its cycles in it.
  read -r period error percycle permemory < <(awk -v t="$elapsed" -v n="$n" -v c="$cycles" \
    -v cpu="$cputicks" -v hz="$ticks" -v mem="$memory" 'BEGIN {
      p = t / c * 1000; e = (p - 50) / 50 * 100; if (e < 0) e = -e
      printf "%.3f %.2f %.1f %d\n", p, e, cpu / hz / c * 1e6, mem / n }')
  printf '%6d %12s %10s %10d %14s %14s %8s\n' "$n" "$period" "$error" "$warnings" "$percycle" "$permemory" "$load"
  cleanup
  rm -rf "${work:?}"/*
  if awk -v e="$error" 'BEGIN {exit !(e > 1.0)}' || ((warnings > 0)); then
    ((all)) && continue
    break
  fi
  best=$n
done
echo "largest N within 1% and without overrun warning: $best"
((all)) && echo "(--all: the largest N that passed, whatever failed before it)"
