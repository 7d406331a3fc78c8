#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build-fuzz and runs each one
# for a while on a freshly generated seed corpus. Fails on any crash, leak, timeout,
# out-of-memory or sanitizer report; the offending inputs are kept in
# build-fuzz/artifacts.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]     SECONDS per target, 60 by default
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$here/build-fuzz"
start=$SECONDS

bash "$here/tools/deps.sh"
(cd "$here" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j2)
built=$SECONDS

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/fuzz/make_corpus.py" "$work/seeds"
mkdir -p "$build/artifacts"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0:abort_on_error=0
export LSAN_OPTIONS=suppressions=$here/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build"/fuzz/fuzz_*; do [ -f "$exe" ] && [ -x "$exe" ] && targets+=("$(basename "$exe")"); done
fi

failed=()
for name in "${targets[@]}"; do
  case $name in
    fuzz_bdecode|fuzz_load) seeds=torrent max_len=16384 dict=("-dict=$here/fuzz/bencode.dict") ;;
    fuzz_profile) seeds=profile max_len=8192 dict=("-dict=$here/fuzz/profile.dict") ;;
    fuzz_template) seeds=template max_len=8192 dict=("-dict=$here/fuzz/template.dict") ;;
    fuzz_handoff) seeds=handoff max_len=512 dict=() ;;
    fuzz_handoff_server) seeds=handoff-server max_len=256 dict=() ;;
    *) echo "unknown fuzz target $name" >&2; exit 2 ;;
  esac
  corpus="$work/corpus/$name"
  mkdir -p "$corpus"
  log="$work/$name.log"
  t0=$SECONDS
  rc=0
  "$build/fuzz/$name" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" "${dict[@]}" \
    "$corpus" "$work/seeds/$seeds" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  if [ $rc -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: ' "$log"; then
    failed+=("$name")
    echo "== $name FAILED (exit $rc) after $((SECONDS - t0)) s; its log ends:"
    tail -60 "$log"
  else
    echo "== $name: ${runs:-?} runs in $((SECONDS - t0)) s, $cov, corpus $(ls "$corpus" | wc -l) files"
  fi
done

echo "fuzz: build $((built - start)) s, total $((SECONDS - start)) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (inputs in $build/artifacts)" >&2
  exit 1
fi
