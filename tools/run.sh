#!/usr/bin/env bash
# Builds Velmora and starts it with the files named after this command.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/tools/deps.sh"
(cd "$here" && cmake --preset run >/dev/null && cmake --build --preset run)
exec "$here/build/velmora" "$@"
