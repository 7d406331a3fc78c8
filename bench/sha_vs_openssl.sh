#!/usr/bin/env bash
# SHA-1 and SHA-256 throughput of Velmora's two compression paths beside
# OpenSSL's, measured in one run over 16 KiB messages, with the ratios.
#
#   bench/sha_vs_openssl.sh [BUILD_DIR]      (default: build)
#
# Environment: ROUNDS (default 3) alternating rounds of both programs, each
# figure the best of its rounds, so that load from elsewhere on the machine
# weighs on both sides alike; SECONDS_EACH (default 3) per OpenSSL figure.
#
# OpenSSL picks its code by the capability vector OPENSSL_ia32cap, which an
# environment variable of the same name masks ("~" clears bits):
#   LV0 (CPUID 1, EDX:ECX): bit 41 SSSE3, bit 43 XOP, bit 60 AVX
#   LV1 (CPUID 7, EBX:ECX): bit 5 AVX2, bit 16 AVX512F, bit 29 SHA
# "SHA masked" clears the SHA bit only (OpenSSL then runs its AVX2 code);
# "no SIMD" clears all of the above, leaving OpenSSL's plain x86-64 code, the
# counterpart of Velmora's portable path.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
rounds=${ROUNDS:-3}
seconds=${SECONDS_EACH:-3}
mask_no_shaext=":~0x20000000"
mask_no_simd="~0x10000A0000000000:~0x20010020"

command -v openssl >/dev/null || { echo "openssl is not installed" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_GUI=OFF >/dev/null
fi
cmake --build "$build" --target bench_sha >/dev/null
bench="$build/bench/bench_sha"

# bytes per second of one OpenSSL figure: MASK ALGORITHM
openssl_rate() {
  local line
  # An empty OPENSSL_ia32cap would clear every bit: leave it unset for the default.
  line=$(if [ -n "$1" ]; then export OPENSSL_ia32cap="$1"; else unset OPENSSL_ia32cap; fi
         openssl speed -bytes 16384 -seconds "$seconds" "$2" 2>/dev/null |
           awk -v a="$2" '$1 == a { print $2 }' | tail -1)
  # OpenSSL prints thousands of bytes per second with a "k".
  awk -v v="${line%k}" 'BEGIN { printf "%.0f\n", v * 1000 }'
}

declare -A best
keep_best() {  # KEY VALUE
  local old=${best[$1]:-0}
  if awk -v a="$2" -v b="$old" 'BEGIN { exit !(a > b) }'; then best[$1]=$2; fi
}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
shaext=$(grep -q -w sha_ni /proc/cpuinfo && echo yes || echo no)
echo "Machine: $cpu, $(nproc) cores, SHA extensions: $shaext; $(openssl version)"
echo "Best of $rounds alternating rounds, 16384-byte messages."
echo

for ((r = 1; r <= rounds; ++r)); do
  # name,iterations,real_time,cpu_time,time_unit,bytes_per_second,...
  while IFS=, read -r name _ _ _ _ bps _; do
    name=${name//\"/}
    [ -n "$bps" ] && keep_best "velmora:$name" "$bps"
  done < <("$bench" --benchmark_format=csv --benchmark_min_time=1 2>/dev/null | grep '^"sha')
  for alg in sha1 sha256; do
    keep_best "openssl:$alg:default" "$(openssl_rate "" "$alg")"
    keep_best "openssl:$alg:no_shaext" "$(openssl_rate "$mask_no_shaext" "$alg")"
    keep_best "openssl:$alg:no_simd" "$(openssl_rate "$mask_no_simd" "$alg")"
  done
done

gbs() { awk -v v="${1:-0}" 'BEGIN { printf "%.3f", v / 1e9 }'; }
ratio() { awk -v a="${1:-0}" -v b="${2:-0}" 'BEGIN { if (b > 0 && a > 0) printf "%.2f", a / b; else printf "-" }'; }

printf "%-16s %-12s %-26s %-12s %-7s %s\n" "algorithm" "Velmora" "against OpenSSL" "OpenSSL" "ratio" "goal"
row() {  # ALGORITHM PATH OPENSSL_KEY OPENSSL_LABEL GOAL
  local v=${best["velmora:$1/$2"]:-} o=${best["openssl:$1:$3"]:-}
  if [ -z "$v" ]; then
    printf "%-16s %-12s %-26s %-12s %-7s %s\n" "$1 $2" "n/a" "$4" "$(gbs "$o") GB/s" "-" "$5"
    return
  fi
  printf "%-16s %-12s %-26s %-12s %-7s %s\n" "$1 $2" "$(gbs "$v") GB/s" "$4" \
    "$(gbs "$o") GB/s" "$(ratio "$v" "$o")" "$5"
}
for alg in sha1 sha256; do
  if [ "$shaext" = yes ]; then
    row "$alg" hardware default "SHA extensions" ">= 0.95"
  fi
  row "$alg" portable no_simd "plain x86-64 (no SIMD)" ">= 1.00"
  row "$alg" portable no_shaext "AVX2 (SHA masked)" "for reference"
done
