#!/usr/bin/env bash
# Times a later copy of Velmora that hands two small torrents to a running copy:
# from its start to its end, which includes the running copy loading both files
# and answering each message. Aim: a median under 50 ms.
#
#   bash bench/handoff_bench.sh [BUILD_DIR] [RUNS]     (defaults: build, 30)
#
# The running copy is a copy of the built program in a temporary folder, on the
# offscreen platform, with auto-run off and a runtime folder of its own. Later
# copies get a Qt platform that does not exist, so one that started the window
# system would fail instead of being timed. Uses hyperfine when installed.
set -euo pipefail
runs=${2:-30}
aim_ms=50
. "$(dirname "$0")/handoff_setup.sh" handoff_bench "${1:-}"

velmora_app "$box" "$program" 0
mkdir -p "$box/data"
python3 "$here/tools/bencode.py" single >/dev/null \
  "$box/data/a.torrent" a.payload 4096 a0123456789012345678 \
  "$box/data/b.torrent" b.payload 4096 b0123456789012345678

cd "$box/data"
QT_QPA_PLATFORM=offscreen "$box/app/velmora" 2>"$box/first.log" &
first_pid=$!
export QT_QPA_PLATFORM=no-window-system-in-a-later-copy
# A later copy without files only asks the running copy whether it is there.
if velmora_wait_listening "$first_pid" 10; then
  for _ in $(seq 20); do
    "$box/app/velmora" 2>/dev/null && break
    sleep 0.05
  done
fi
"$box/app/velmora" || { echo "handoff_bench: the running copy does not answer" >&2; exit 2; }

later=("$box/app/velmora" a.torrent b.torrent)
echo "Later copy handing two files to a running copy, $runs runs (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 3 --runs "$runs" --export-json "$box/times.json" "${later[*]}"
  median_ms=$(python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("%.1f" % (r["median"]*1000))' "$box/times.json")
else
  times=()
  for _ in $(seq 3); do "${later[@]}"; done
  for _ in $(seq "$runs"); do
    t0=$(date +%s%N); "${later[@]}"; t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000 )))
  done
  mid=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  median_ms=$(awk -v us="$mid" 'BEGIN { printf "%.1f", us / 1000 }')
fi
verdict=$(awk -v m="$median_ms" -v a="$aim_ms" 'BEGIN { print (m < a) ? "under" : "OVER" }')
echo "median: $median_ms ms ($verdict the aim of $aim_ms ms)"
