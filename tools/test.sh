#!/usr/bin/env bash
# Builds Velmora with its tests and runs them all (GUI tests offscreen).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/tools/deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$here/build"
ctest --test-dir "$here/build" --output-on-failure -j2
