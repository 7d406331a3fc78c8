#!/usr/bin/env bash
# Checks the dependency rule of the tree on a configured and built tree (build/):
# the core under _unit/ includes no Qt header and is compiled and linked without Qt,
# and no folder includes a header of a folder above it
# (Velmora.cpp -> _form -> _app -> _unit).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cd "$here"
failed=0
fail() { echo "layout: $*" >&2; failed=1; }

if hits=$(grep -rnE '^\s*#\s*include\s*[<"]Q' _unit/); then
  fail "a Qt header under _unit/:"$'\n'"$hits"
fi
grep -qE 'Qt6::|find_package\(Qt' _unit/CMakeLists.txt && fail "_unit/CMakeLists.txt links Qt"

# What the compiler actually read for each object of the core.
objects=$(ninja -C "$build" -t targets all | sed -n 's|^\(_unit/CMakeFiles/velmora_core.dir/[^:]*\.o\):.*|\1|p')
[ -n "$objects" ] || fail "no objects of velmora_core in $build"
for object in $objects; do
  if ninja -C "$build" -t deps "$object" | grep -qiE '/qt6?/|/Qt[A-Z]'; then
    fail "$object was compiled with a Qt header"
  fi
done
if ninja -C "$build" -t commands velmora_core | grep -qi 'qt6'; then
  fail "velmora_core is built with Qt flags"
fi

# No include of a header that lives in a folder above.
headers_of() { (cd "$1" && ls ./*.h 2>/dev/null | sed 's|^\./||'); }
check_up() {
  local lower=$1 upper
  shift
  for upper in "$@"; do
    for header in $(headers_of "$upper"); do
      if hits=$(grep -rnF "#include \"$header\"" "$lower"/ 2>/dev/null); then
        fail "$lower/ includes $upper/$header:"$'\n'"$hits"
      fi
    done
  done
}
check_up _unit _app _form
check_up _app _form

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "layout: the core is free of Qt and every include points down"
