#!/usr/bin/env bash
# Builds the programs and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target test_model_r3 >/dev/null

echo "Starting the test model on the image qv_demo: it reports its start-up, waits in STOP"
echo "for a supervisor, and ends by itself after 2 s."
echo
status=0
QV_MEMORY_NAME=qv_demo QV_TIMEOUT=2 build/bin/test_model_r3 || status=$?
rm -f /dev/shm/qv_demo
echo
echo "The program ended with exit status $status."
exit "$status"
