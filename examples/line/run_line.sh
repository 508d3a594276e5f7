#!/usr/bin/env bash
# A line of two cells, each a program on an image of its own, wired through Modbus TCP on
# 127.0.0.1: cell A makes parts and serves its variables (qvctl modbus serve); cell B polls
# A (qvctl modbus poll) and takes A's "part delivered" output as its "part present" input.
# Shows a part handed from one cell to the next, then ends everything it started.
#   examples/line/run_line.sh [BIN]      BIN: the folder of qvctl and line_cell (build/bin)
set -euo pipefail
bin=$(cd "${1:-$(dirname "$0")/../../build/bin}" && pwd)
qvctl="$bin/qvctl"
work=$(mktemp -d)
a="line_a_$$"
b="line_b_$$"
pids=()

finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for image in "$a" "$b"; do
    "$qvctl" --name "$image" end >/dev/null 2>&1 || true
    "$qvctl" --name "$image" remove >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap finish EXIT

# A port that is free now, on the loopback address only.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

started() {  # waits until the program on image $1 stands in STOP
  for _ in $(seq 100); do
    "$qvctl" --name "$1" status 2>/dev/null | grep -q STOP && return 0
    sleep 0.05
  done
  echo "the cell on image $1 did not start" >&2
  return 1
}

echo "Starting cell A (image $a) and cell B (image $b)"
QV_MEMORY_NAME=$a QV_TRACE_FILE="$work/a.trc" "$bin/line_cell" >"$work/a.log" 2>&1 &
pids+=($!)
QV_MEMORY_NAME=$b QV_TRACE_FILE="$work/b.trc" "$bin/line_cell" >"$work/b.log" 2>&1 &
pids+=($!)
started "$a"
started "$b"
"$qvctl" --name "$a" set makeParts TRUE

echo "Cell A serves its variables on 127.0.0.1 port $port"
"$qvctl" --name "$a" modbus serve --port "$port" >"$work/serve.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "listening" "$work/serve.log" && break; sleep 0.05; done

# B's wiring: A's partDelivered, wherever A's map puts it, into B's partPresent.
delivered=$("$qvctl" --name "$a" modbus map | grep '^partDelivered,')
IFS=, read -r _ table address _ <<<"$delivered"
printf 'name,table,address,type,words,word_order,writable\npartPresent,%s,%s,BOOL,1,,false\n' \
  "$table" "$address" >"$work/wiring.csv"
echo "Cell B polls it: A's partDelivered ($table $address) is B's partPresent"
"$qvctl" --name "$b" modbus poll --device "127.0.0.1:$port" --map "$work/wiring.csv" >"$work/poll.log" 2>&1 &
pids+=($!)

"$qvctl" --name "$b" run
"$qvctl" --name "$a" run
for _ in $(seq 300); do
  out=$("$qvctl" --name "$a" -q get partsOut | sed 's/.* = //')
  in=$("$qvctl" --name "$b" -q get partsIn | sed 's/.* = //')
  if [[ "$out" -ge 1 && "$in" -ge 1 ]]; then
    echo "Cell A handed on $out part(s); cell B took in $in: a part went from one cell to the next"
    cat "$work/serve.log" "$work/poll.log"
    exit 0
  fi
  sleep 0.1
done
echo "No part reached cell B in 30 s" >&2
cat "$work/serve.log" "$work/poll.log" >&2
exit 1
