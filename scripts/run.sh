#!/usr/bin/env bash
# Sets up, builds and runs the simulator on the offline default world: the local tile
# server on 127.0.0.1:8765 (where assets/config/Windhollow.json points) and the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only what a flight needs: the tests and benchmarks are scripts/build.sh's.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target windhollow wh_tileserver

server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; true; }
trap cleanup EXIT

if ! (exec 3<>/dev/tcp/127.0.0.1/8765) 2>/dev/null; then
  build/tools/wh_tileserver --port 8765 >/dev/null &
  server_pid=$!
fi
build/windhollow "$@"
