#!/usr/bin/env bash
# The demo: builds qvctl and the program it runs, then plays one whole manipulation cycle
# of the manipulator cell (or, while the cell is not built, one stroke of the bistable
# cylinder) with the plant simulator beside it, and tells what happens cycle by cycle.
# Arguments go to `qvctl demo` (for example --travel 0.5 for faster cylinders).
# With --web, it starts the cell on an image of its own and the operator panel beside it
# (qvctl serve --plant, which plays the machine) and prints the address to open; the
# other arguments go to `qvctl serve` (--port 8081, --travel 0.5). Ctrl-C ends it all.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v c++ >/dev/null || command -v g++ >/dev/null || need+=(g++)
command -v pkg-config >/dev/null || need+=(pkg-config)
[[ -f /usr/include/httplib.h ]] || need+=(libcpp-httplib-dev)
[[ -f /usr/include/nlohmann/json.hpp ]] || need+=(nlohmann-json3-dev)
[[ -f /usr/share/javascript/three/three.min.js ]] || need+=(libjs-three)
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
if [[ "${1:-}" != "--web" ]]; then
  exec build-demo/bin/qvctl demo "$@"
fi
shift

program=manipulateur
[[ -x build-demo/bin/$program ]] || program=bistable_cylinder
image=qv_web_$$
folder=$(mktemp -d)
ln -s "$PWD/build-demo/bin/$program" "$folder/$program"
export QV_MEMORY_NAME=$image
(cd "$folder" && exec "./$program" >console.txt 2>&1) &
pid=$!
finish() {
  build-demo/bin/qvctl end >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  build-demo/bin/qvctl remove >/dev/null 2>&1 || true
  rm -rf "$folder" "$log"
}
trap finish EXIT
trap 'exit 0' INT TERM
for _ in $(seq 100); do
  build-demo/bin/qvctl status 2>/dev/null | grep -q '^status *STOP' && break
  sleep 0.1
done
echo "The $program program runs on image $image (its console: $folder/console.txt)."
echo "The panel plays its machine: press RUN, then drive it from the page. Ctrl-C ends the demo."
build-demo/bin/qvctl serve --plant "$@"
