#!/usr/bin/env bash
# Checks that every C++ source and header the repository tracks is in the house
# style of .clang-format, as `clang-format -i` leaves it. Prints each place that
# differs and fails; `clang-format -i $(git ls-files '*.cpp' '*.h')` mends them.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format: clang-format is not installed (tools/deps.sh)" >&2; exit 1; }
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "format: no C++ files tracked" >&2
  exit 1
fi
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "format: the files above differ from .clang-format; run clang-format -i on them" >&2
  exit 1
fi
echo "format: ${#files[@]} C++ files in the house style"
