#!/usr/bin/env bash
# The demo: builds qvctl and the program it runs, then plays one whole manipulation cycle
# of the manipulator cell (or, while the cell is not built, one stroke of the bistable
# cylinder) with the plant simulator beside it, and tells what happens cycle by cycle.
# Arguments go to `qvctl demo` (for example --travel 0.5 for faster cylinders).
# With --web, it starts the cell on an image of its own and the operator panel beside it
# (qvctl serve --plant, which plays the machine) and prints the address to open; the
# other arguments go to `qvctl serve` (--port 8081, --travel 0.5). Ctrl-C ends it all.
# With --iec [FILE] [--web], it builds qvc and a program from Structured Text or from a
# PLCopen XML project (FILE.st or FILE.xml; default: examples/iec/conveyor.st), starts it
# on an image of its own and plays its scripted supervisor (FILE.scenario beside it;
# without one, ten cycles showing the outputs), telling what happens cycle by cycle; it
# ends 0 only when the whole scenario passed.
# With --web after it, the operator panel opens on that program instead.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v c++ >/dev/null || command -v g++ >/dev/null || need+=(g++)
command -v pkg-config >/dev/null || need+=(pkg-config)
[[ -f /usr/include/httplib.h ]] || need+=(libcpp-httplib-dev)
[[ -f /usr/include/nlohmann/json.hpp ]] || need+=(nlohmann-json3-dev)
[[ -f /usr/share/javascript/three/three.min.js ]] || need+=(libjs-three)
[[ -f /usr/include/modbus/modbus.h ]] || need+=(libmodbus-dev)
[[ -f /usr/include/pugixml.hpp ]] || need+=(libpugixml-dev)
if ((${#need[@]})); then
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "Installing ${need[*]}..."
    apt-get update -qq >/dev/null && apt-get install -y -qq "${need[@]}" >/dev/null
  else
    echo "The demo needs ${need[*]} (on Debian: sudo apt-get install ${need[*]})." >&2
    exit 1
  fi
fi

# --iec [FILE] [--web]: the file from where the demo was started ($OLDPWD after the cd).
iec=false
iec_web=false
iec_file=$PWD/examples/iec/conveyor.st
if [[ "${1:-}" == "--iec" ]]; then
  iec=true
  shift
  if [[ $# -gt 0 && "$1" != --* ]]; then
    iec_file=$1
    [[ "$iec_file" == /* ]] || iec_file=$OLDPWD/$iec_file
    shift
  fi
  if [[ "${1:-}" == "--web" ]]; then
    iec_web=true
    shift
  fi
  [[ -f "$iec_file" ]] || { echo "demo: no source file $iec_file" >&2; exit 1; }
  case "$iec_file" in
    *.st | *.xml) ;;
    *) echo "demo: $iec_file is neither Structured Text (.st) nor a PLCopen project (.xml)" >&2; exit 1 ;;
  esac
fi
targets=(demo_programs)
$iec && targets=(qvc qvctl qv_main_r3 qv_runtime_r3)

# The IEC 61131-3 demo: qvc builds the program into a folder of its own; examples/iec/
# play.sh starts it on an image of its own and plays the scenario with qvctl.
iec_demo() {
  local name folder scenario outputs qvc=$PWD/build-demo/bin/qvc
  name=$(basename "${iec_file%.*}")
  folder=$(mktemp -d)
  iec_folder=$folder
  trap 'rm -rf "$iec_folder" "$log"' EXIT
  echo "qvc build $iec_file"
  if ! (cd "$folder" && "$qvc" build "$iec_file" -o "$name"); then
    echo "qvc did not build $iec_file." >&2
    return 1
  fi
  if $iec_web; then
    iec_panel "$folder" "$name" "$@"
    return
  fi
  scenario=${iec_file%.*}.scenario
  if [[ ! -f "$scenario" ]]; then
    outputs=$(python3 -c 'import json, sys
names = [v["name"] for v in json.load(open(sys.argv[1]))["variables"] if v["direction"] == "output"]
print(" ".join(names[:12]))' "$folder/$name.symbols.json")
    scenario=$folder/$name.scenario
    {
      echo "say Ten cycles, one at a time; the program's outputs after each."
      for _ in $(seq 10); do
        echo step
        [[ -n "$outputs" ]] && echo "show $outputs"
      done
    } >"$scenario"
  fi
  examples/iec/play.sh --narrate "$folder/$name" build-demo/bin/qvctl "$scenario"
}

# The panel on the compiled program, on an image of its own (a name nobody can
# guess, as for the cell).
iec_panel() {
  local folder=$1 name=$2
  shift 2
  QV_MEMORY_NAME=qv_iec_web_$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
  export QV_MEMORY_NAME
  (cd "$folder" && exec "./$name" >console.txt 2>&1) &
  iec_pid=$!
  trap 'build-demo/bin/qvctl end >/dev/null 2>&1 || kill "$iec_pid" 2>/dev/null || true
        wait "$iec_pid" 2>/dev/null || true
        build-demo/bin/qvctl remove >/dev/null 2>&1 || true
        rm -rf "$iec_folder" "$log"' EXIT
  trap 'exit 0' INT TERM
  for _ in $(seq 100); do
    build-demo/bin/qvctl status 2>/dev/null | grep -q '^status *STOP' && break
    sleep 0.1
  done
  echo "$name runs on image $QV_MEMORY_NAME (its console: $folder/console.txt)."
  echo "Open the address below: the page opens on the program's online view, live (its source, or a project's"
  echo "drawings; add &view=panel to the address for the panel alone). Click a line or a block to stop there,"
  echo "then Step. Ctrl-C ends the demo."
  build-demo/bin/qvctl serve "$@"
}

# A build of its own, without the tests and benchmarks (and what they need).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
jobs=$(nproc 2>/dev/null || echo 2)
echo "Building qvctl and the programs in build-demo/ (the first time takes a few minutes)..."
if ! { cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF &&
       cmake --build build-demo -j "$jobs" --target "${targets[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "The build failed." >&2
  exit 1
fi
echo
if $iec; then
  iec_demo "$@"
  exit
fi
if [[ "${1:-}" != "--web" ]]; then
  exec build-demo/bin/qvctl demo "$@"
fi
shift

program=manipulateur
[[ -x build-demo/bin/$program ]] || program=bistable_cylinder
# Names nobody can guess: another user could lay an image or a link under a known one.
image=qv_web_$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
folder=$(mktemp -d)
ln -s "$PWD/build-demo/bin/$program" "$folder/$program"
export QV_MEMORY_NAME=$image
(cd "$folder" && exec "./$program" >console.txt 2>&1) &
pid=$!
finish() {
  build-demo/bin/qvctl end >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if ! build-demo/bin/qvctl remove >/dev/null 2>&1 && build-demo/bin/qvctl status >/dev/null 2>&1; then
    echo "The image $image could not be removed (qvctl --name $image remove)." >&2
  fi
  rm -rf "$folder" "$log"
}
trap finish EXIT
trap 'exit 0' INT TERM
for _ in $(seq 100); do
  build-demo/bin/qvctl status 2>/dev/null | grep -q '^status *STOP' && break
  sleep 0.1
done
echo "The $program program runs on image $image (its console: $folder/console.txt)."
echo "The panel plays its machine: open the address below (the token after # lets the page in),"
echo "press RUN, then drive it from the page. Ctrl-C ends the demo."
build-demo/bin/qvctl serve --plant "$@"
