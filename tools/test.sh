#!/usr/bin/env bash
# Builds Velmora with its tests and runs them all (GUI tests offscreen).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/tools/deps.sh"
cd "$here"
cmake --preset release
cmake --build --preset release
ctest --preset release
