#!/usr/bin/env bash
# Builds the whole program and its tests with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer (no recovery: the first report fails the test) in
# build-asan and runs every test, the window's tests offscreen.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
start=$SECONDS

bash "$here/tools/deps.sh"
export ASAN_OPTIONS=detect_leaks=1:strict_init_order=1:check_initialization_order=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$here/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$here"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j2
built=$SECONDS
ctest --preset sanitize
echo "sanitizer tests: build $((built - start)) s, total $((SECONDS - start)) s"
