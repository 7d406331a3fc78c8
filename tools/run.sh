#!/usr/bin/env bash
# Builds Velmora and starts it with the files named after this command.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/tools/deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$here/build" --target velmora velmora-cli
exec "$here/build/velmora" "$@"
