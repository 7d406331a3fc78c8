#!/usr/bin/env bash
# The Windows build, cross-compiled here with MinGW-w64 and run under Wine: the
# core, velmora-cli.exe and the core tests (GoogleTest built from Debian's sources
# with the same toolchain), the tests run, and velmora-cli.exe's output compared
# byte for byte with the Linux build's on typical torrents, in plain, --full and
# --json modes. Prints the counts; exits with 1 when a test fails or a byte differs.
#
#   bash tools/windows-test.sh [LINUX_VELMORA_CLI]    (default build/velmora-cli)
#
# Everything goes to build-win/: the tree, the MinGW GoogleTest, a Wine prefix of
# its own (made once) and the compared inputs and outputs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
linux_cli=$(realpath "${1:-$here/build/velmora-cli}")
bash "$here/tools/deps.sh"
cd "$here"
start=$SECONDS
out=$here/build-win
deps=$out/deps
mkdir -p "$out"
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
toolchain=$here/cmake/mingw-w64-x86_64.cmake

# GoogleTest and nlohmann/json for the MinGW tree, in a prefix of their own: the
# system's copies are configured for Linux (and json's points at /usr/include,
# which must stay out of a Windows build).
if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$out/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$deps" >/dev/null
  cmake --build "$out/googletest"
  cmake --install "$out/googletest" >/dev/null
fi
mkdir -p "$deps/include" "$deps/share/cmake"
cp -r /usr/include/nlohmann "$deps/include/"
cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"

cmake -S . -B "$out/tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DVELMORA_GUI=OFF -DVELMORA_TESTS=ON -DVELMORA_BENCH=OFF \
  -DGTest_DIR="$deps/lib/cmake/GTest" -Dnlohmann_json_DIR="$deps/share/cmake/nlohmann_json" >/dev/null
cmake --build "$out/tree"
exe=$out/tree/velmora-cli.exe
if x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' | grep -viE 'kernel32|msvcrt|advapi32|user32|shell32'; then
  echo "velmora-cli.exe needs a DLL beside it" >&2
  exit 1
fi
build_time=$((SECONDS - start))

# Wine: a prefix of its own, no debug chatter, and one server kept for the run.
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# Wine's own services start with the first program and outlive it: they must not
# hold this script's output open, and they end with the server at the end.
mkdir -p "$WINEPREFIX"
wineserver -p 60 2>/dev/null || true  # one may be running already for this prefix
trap 'wineserver -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1
else
  wineboot </dev/null >/dev/null 2>&1
fi

# The core tests, each program whole.
passed=0 failed=0 skipped=0 status=0 skips=
for test in "$out"/tree/tests/test_*.exe; do
  name=$(basename "$test" .exe)
  log=$out/$name.log
  if (cd "$out" && timeout 600 wine "$test" >"$log" 2>&1); then :; else
    status=1
    echo "FAILED: $name under Wine" >&2
    grep -E '^\[  FAILED  \]|Failure|error' "$log" | head -40 >&2 || true
  fi
  count() { sed -n "s/^\[  $1 *\] \([0-9]*\) tests\?.*/\1/p" "$log" | head -1; }
  p=$(count PASSED) f=$(count FAILED) s=$(count SKIPPED)
  passed=$((passed + ${p:-0})) failed=$((failed + ${f:-0})) skipped=$((skipped + ${s:-0}))
  # Each skipped test with the reason it gives (the line before its verdict).
  skips+=$(tr -d '\r' <"$log" | awk '/^\[  SKIPPED \] [A-Za-z].* \([0-9]+ ms\)$/ { print "  skipped " $4 ": " reason }
                                   { reason = $0 }')$'\n'
done
echo "Windows core tests under Wine: $passed passed, $failed failed, $skipped skipped"
printf '%s' "$skips" | grep . || true

# velmora-cli.exe against the Linux build on typical torrents (the bench's shape).
inputs=$out/inputs
rm -rf "$inputs"
mkdir -p "$inputs"
python3 - "$inputs" <<'PY'
import os, sys
sys.path.insert(0, os.path.join(os.getcwd(), "bench"))
from peers import pieces_for, pseudo_random, torrent  # noqa: E402

work = sys.argv[1]
os.makedirs(os.path.join(work, "batch"), exist_ok=True)
names = []
for i in range(2000):
    # The bench's typical torrent; every tenth with a name in Cyrillic and a
    # private flag, every seventh with a web seed, for the full link and JSON.
    info = {"name": "Typical torrent %d" % i if i % 10 else "Фильм №%d" % i, "piece length": 524288,
            "files": [{"length": 50_000_000 + i, "path": ["video.mkv"]},
                      {"length": 1234, "path": ["readme.txt"]}],
            "pieces": pseudo_random(20 * pieces_for(50_001_234 + i, 524288), seed=i)}
    if i % 10 == 0:
        info["private"] = 1
    data, _ = torrent(info)
    name = "batch/t%04d.torrent" % i if i % 10 else "batch/фильм %04d.torrent" % i
    with open(os.path.join(work, name), "wb") as f:
        f.write(data)
    names.append(name)
with open(os.path.join(work, "list.txt"), "w", encoding="utf-8") as f:
    f.write("".join(n + "\n" for n in names))
PY
compared=0 differing=0
compare() {  # compare LABEL ARGS...: both programs, the same arguments, in inputs/
  local label=$1
  shift
  if [ "$label" = wildcard ]; then
    # The shell expands the pattern for Linux (in byte order), the program itself
    # on Windows.
    label="plain, 2,000 torrents named by batch/*.torrent"
    (cd "$inputs" && LC_ALL=C "$linux_cli" batch/*.torrent >"$out/linux.out" 2>"$out/linux.err") || true
  else
    (cd "$inputs" && "$linux_cli" "$@" >"$out/linux.out" 2>"$out/linux.err") || true
  fi
  (cd "$inputs" && wine "$exe" "$@" >"$out/wine.out" 2>"$out/wine.err") || true
  local lines
  lines=$(wc -l <"$out/linux.out")
  if cmp -s "$out/linux.out" "$out/wine.out" && cmp -s "$out/linux.err" "$out/wine.err"; then
    echo "velmora-cli.exe $label: the same bytes as the Linux build ($lines lines)"
    compared=$((compared + 1))
  else
    echo "velmora-cli.exe $label: DIFFERS from the Linux build" >&2
    diff <(cat "$out/linux.out" "$out/linux.err") <(cat "$out/wine.out" "$out/wine.err") | head -20 >&2 || true
    differing=$((differing + 1))
  fi
}
compare "plain, 2,000 torrents from a list" --files-from list.txt
compare wildcard 'batch/*.torrent'
compare "--full, 2,000 torrents from a list" --full --files-from list.txt
compare "--json, 2,000 torrents from a list" --json --files-from list.txt
compare "--json --full, 2,000 torrents from a list" --json --full --files-from list.txt
echo "Output compared with the Linux build: $compared runs the same, $differing differing"
echo "Windows build and Wine run finished in $((SECONDS - start)) s (build $build_time s)"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ] && [ "$differing" -eq 0 ]
