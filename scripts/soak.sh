#!/usr/bin/env bash
# Soak run: the four programs, each on an image of its own in a folder of its own, each
# with `qvctl plant` beside it and a random supervisor writing into its image for SECONDS
# (default 60). Prints each program's cycles, writes and resident memory at start and end,
# checks that every trace file parses and that every program ended with status 0. A
# Modbus server on the first program's image serves clients that poll it, come and go, cut
# requests and never read their answers; its descriptors, threads and memory must stay
# flat. Status 0 when all of that holds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
root=$PWD

programs=(bistable_cylinder pick_place_unit suction_cup manipulateur)
if [[ ! -f build/CMakeCache.txt ]]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target "${programs[@]}" qvctl soak_supervisor >/dev/null
bin=$root/build/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/qv_soak.XXXXXX")
declare -A program_pid plant_pid supervisor_pid image
cleanup() {
  for p in "${programs[@]}"; do
    for pid in "${supervisor_pid[$p]:-}" "${plant_pid[$p]:-}" "${program_pid[$p]:-}"; do
      [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
    done
    [[ -n "${image[$p]:-}" ]] && "$bin/qvctl" --name "${image[$p]}" remove >/dev/null 2>&1 || true
  done
  for pid in "${modbus_clients_pid:-}" "${modbus_pid:-}"; do [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

seed=$RANDOM
echo "soak: ${#programs[@]} programs for $seconds s (seed $seed) in $work"
for p in "${programs[@]}"; do
  mkdir -p "$work/$p"
  ln -s "$bin/$p" "$work/$p/$p"
  image[$p]=qvsoak_${p:0:8}_$$
  QV_MEMORY_NAME=${image[$p]} "$work/$p/$p" >"$work/$p/console.txt" 2>&1 &
  program_pid[$p]=$!
done
for p in "${programs[@]}"; do
  for _ in $(seq 100); do
    "$bin/qvctl" --name "${image[$p]}" status >/dev/null 2>&1 && break
    sleep 0.1
  done
  "$bin/qvctl" --name "${image[$p]}" plant --quiet >"$work/$p/plant.txt" 2>&1 &
  plant_pid[$p]=$!
  "$bin/soak_supervisor" --name "${image[$p]}" --seconds "$seconds" --seed "$((seed + ${#p}))" \
    >"$work/$p/supervisor.txt" 2>&1 &
  supervisor_pid[$p]=$!
done
modbus_port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$bin/qvctl" --name "${image[${programs[0]}]}" modbus serve --port "$modbus_port" >"$work/modbus_serve.txt" 2>&1 &
modbus_pid=$!
sleep 0.5
/usr/bin/python3 "$root/tests/modbus/soak_clients.py" "$modbus_port" "$seconds" "$modbus_pid" \
  >"$work/modbus_clients.txt" 2>&1 &
modbus_clients_pid=$!

status=0
for p in "${programs[@]}"; do
  if ! wait "${supervisor_pid[$p]}"; then status=1; fi
  supervisor_pid[$p]=
  cat "$work/$p/supervisor.txt"
  if wait "${program_pid[$p]}"; then exit_status=0; else exit_status=$?; fi
  program_pid[$p]=
  wait "${plant_pid[$p]}" || true
  plant_pid[$p]=
  if [[ $exit_status -ne 0 ]]; then
    echo "$p: ended with status $exit_status"
    tail -5 "$work/$p/console.txt"
    status=1
  else
    echo "$p: ended with status 0"
  fi
  "$bin/soak_supervisor" --check-trace "$work/$p/$p.trc" --program "$p" || status=1
done
if ! wait "$modbus_clients_pid"; then status=1; fi
modbus_clients_pid=
cat "$work/modbus_clients.txt"
kill "$modbus_pid" 2>/dev/null || true
modbus_pid=
if [[ $status -eq 0 ]]; then echo "soak: all programs ran, ended cleanly and wrote well-formed traces"; else echo "soak: FAILED"; fi
exit $status
